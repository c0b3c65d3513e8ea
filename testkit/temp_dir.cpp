// SPDX-License-Identifier: MIT
#include "temp_dir.h"

#include <cstdio>
#include <cstdlib>
#include <ftw.h>

namespace wdtest
{

TempDir::TempDir(std::string_view prefix)
{
    std::string tmpl = "/tmp/" + std::string(prefix) + ".XXXXXX";
    if (mkdtemp(tmpl.data()) != nullptr)
        path_ = tmpl;
}

TempDir::~TempDir()
{
    if (path_.empty())
        return;
    // Depth first and without following links: a link the program under
    // test left in the folder must not lead the removal outside it.
    nftw(
        path_.c_str(),
        [](const char *p, const struct stat *, int, struct FTW *) {
            (void)remove(p);
            return 0;
        },
        16, FTW_DEPTH | FTW_PHYS);
}

} // namespace wdtest
