# Paints the five pictures into OUT and compares each with the one in DATA.
file(REMOVE_RECURSE ${OUT})
file(MAKE_DIRECTORY ${OUT})
execute_process(COMMAND ${PAINT} ${OUT} RESULT_VARIABLE painted)
if(NOT painted EQUAL 0)
  message(FATAL_ERROR "the picture generator failed: ${painted}")
endif()
foreach(name bkgrnd2 creds crate logotyp grusk4)
  execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${OUT}/${name}.bmp ${DATA}/${name}.bmp
                  RESULT_VARIABLE differs)
  if(differs)
    message(FATAL_ERROR "Data/${name}.bmp differs from the generator's output; regenerate it")
  endif()
endforeach()
