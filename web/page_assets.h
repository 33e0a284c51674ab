// The page's files (web/page/), built into the program so that it serves
// nothing from the disk: the generated page_assets.cpp holds their text.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace pendra::web {

struct PageAsset {
    std::string name;       // e.g. "page.js"
    std::string type;       // its media type
    std::string_view bytes; // the file as it was at build time
};

const std::vector<PageAsset> &pageAssets();

} // namespace pendra::web
