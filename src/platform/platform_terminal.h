// Message boxes on the terminal, for a window system with no display to show
// them on: the SDL platform without a display, and the null platform.
#pragma once

// Writes the box to standard error as "caption: text" (a null caption or text
// as empty). A yes/no question is then read from standard input when it is an
// interactive terminal ("y" or "n", asked again on anything else), and
// answered with `fallbackAnswer` when it is not or when input ends. Returns
// IDOK for any other box, else IDYES or IDNO (or the fallback).
int answerOnTerminal(const char* text, const char* caption, bool yesNo, int fallbackAnswer);
