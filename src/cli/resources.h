// Files under res/ that go into the program as they are, made into a source
// file at build time (cmake/embed.cmake).
#pragma once

#include <string_view>

namespace pulldex::resources {

extern const std::string_view reportHtml;  // res/report/report.html: the page, with {{name}} to fill
extern const std::string_view reportCss;   // res/report/report.css
extern const std::string_view reportJs;    // res/report/report.js

}  // namespace pulldex::resources
