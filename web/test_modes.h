// The browser page's test modes, asked for by the page's address:
//   ?frame=N  draws frame N of the show exactly as the capture program does at
//             60 frames per second and holds it on the canvas, which then
//             carries data-frame="N";
//   ?pcm=S    renders the first S seconds of the music offline and puts the
//             SHA-256 of its PCM (44100 Hz stereo int16) on the page as
//             data-pcm-sha256.
// Main thread only.
#pragma once

// Runs the mode the page's address asks for and keeps the page as it is, and
// the program's runtime alive, for good; returns only when it asks for none
// (0), or with 1 when the mode could not run.
int runTestModeIfAsked();
