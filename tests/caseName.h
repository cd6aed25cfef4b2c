// Readable names for the cases of parameterised tests, for the test listing and failures.
#pragma once

#include <cctype>
#include <string>

// A valid test name from any text: letters and digits kept, every other character '_'.
inline std::string caseName(std::string text) {
  for (char& c : text)
    if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
  return text;
}

// Names each case of a suite by its `name` (the fourth argument of INSTANTIATE_TEST_SUITE_P).
struct ByName {
  template <class Info>
  std::string operator()(const Info& info) const {
    return caseName(info.param.name);
  }
};
