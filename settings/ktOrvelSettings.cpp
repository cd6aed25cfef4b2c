#include "ktOrvelSettings.h"

const char* const OutputTypeENUM[] = {"Defocused Image", "Lens Bloom", "Focal Distance Visualization",
                                      "Filter Shape",    "Focus Matte", nullptr};
const char* const FocusTypeENUM[] = {"Both", "Front", "Back", nullptr};
const char* const DepthStyleENUM[] = {"Real", "1/z", nullptr};
const char* const FalloffTypeENUM[] = {"Linear", "Quadratic", nullptr};
const char* const WorldScaleENUM[] = {"mm", "cm", "m", "inches", "feet", nullptr};
const char* const FilmFormatENUM[] = {"35mm", "Academy",    "Anamorphic", "Super 35mm",  "Vista Vision",
                                      "16mm", "Super 16mm", "APSC",       "Four Thirds", "Custom",
                                      nullptr};
const char* const KernelTypeENUM[] = {"Input", "Circular", "Aperture Blades", nullptr};
const char* const DeepMethodENUM[] = {"Visible Share", "See Through", "Lens Trace", nullptr};

const FilmBack ktFilmFormats[10] = {
    {22.0f, 16.0f},  {22.0f, 16.0f},   {21.3f, 17.8f}, {24.89f, 18.67f}, {37.7f, 25.17f},
    {10.26f, 7.49f}, {12.52f, 7.41f},  {22.2f, 14.8f}, {17.3f, 13.0f},   {0.0f, 0.0f},
};

void applyFilmFormat(ktOrvelSettings& s) {
  if (s.filmFormat < 0 || s.filmFormat >= kFilmFormatCustom) return;
  s.apertureWidth = ktFilmFormats[s.filmFormat].width;
  s.apertureHeight = ktFilmFormats[s.filmFormat].height;
}
