// The page's files, compiled into the program (page_assets.cpp is generated
// by embed_page.cmake from every file under page/), so nothing is installed
// beside the binary and the page needs nothing from outside.
#pragma once

#include <cstddef>
#include <string_view>

struct PageAsset {
    const char *path; // "/index.html", "/app.js", ...
    const char *mime;
    const unsigned char *data;
    size_t size;
};

// The asset served at a URL path ("/" is "/index.html"); nullptr when none.
const PageAsset *find_page_asset(std::string_view path);
