// The version of the program: the project version and, when it was built
// from a git checkout, the commit. Defined in a file the build generates.
#pragma once

#include <string_view>

namespace vexta {

std::string_view VersionText();

} // namespace vexta
