// The show's five pictures, painted in code. Backdrop pictures are laid out
// for the 4:3 window that stretches the square texture: they are painted in
// a 640 x 480 drawing space sampled onto the square canvas.
#pragma once

#include <vector>

#include "canvas.h"

Canvas paintLogo(int size);      // "QUENDALOOP BRAKKELGRUSK" over a deep horizon
Canvas paintBackdrop(int size);  // deep space behind the torus tube
Canvas paintCredits(int size);   // the credits still
Canvas paintCrate(int size);     // a wooden crate side, tiles by its frame
Canvas paintGravel(int size);    // the tunnel's stone surface, seamless both ways

// The program's icon, size x size pixels, from the logo's design; `alpha`
// receives each pixel's coverage (0..1) of the tile with rounded corners.
Canvas paintIcon(int size, std::vector<float>* alpha);
