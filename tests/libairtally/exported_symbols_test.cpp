// SPDX-License-Identifier: MIT
// The shared library's dynamic symbol table and SONAME, read from the ELF
// file itself (so the arm64 build checks its own library too).
#include <algorithm>
#include <cstring>
#include <elf.h>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <set>
#include <string>
#include <vector>

namespace
{

struct DynInfo {
    std::set<std::string> defined;      // global or weak symbols the library defines
    std::set<std::string> non_function; // of those, the ones that are not functions
    std::string soname;
};

bool read_dyn_info(const std::string &path, DynInfo *info, std::string *why)
{
    std::ifstream f(path, std::ios::binary);
    std::vector<char> file((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    if (file.size() < sizeof(Elf64_Ehdr)) {
        *why = "cannot read " + path;
        return false;
    }
    Elf64_Ehdr eh;
    std::memcpy(&eh, file.data(), sizeof(eh));
    if (std::memcmp(eh.e_ident, ELFMAG, SELFMAG) != 0 || eh.e_ident[EI_CLASS] != ELFCLASS64) {
        *why = "not a 64-bit ELF file";
        return false;
    }
    if (eh.e_shoff + static_cast<size_t>(eh.e_shnum) * sizeof(Elf64_Shdr) > file.size()) {
        *why = "section headers out of range";
        return false;
    }
    std::vector<Elf64_Shdr> sh(eh.e_shnum);
    std::memcpy(sh.data(), file.data() + eh.e_shoff, sh.size() * sizeof(Elf64_Shdr));
    auto section = [&](const Elf64_Shdr &s) { return file.data() + s.sh_offset; };
    auto str_at = [&](const Elf64_Shdr &strtab, size_t off) {
        return std::string(section(strtab) + off);
    };
    bool saw_dynsym = false;
    for (const Elf64_Shdr &s : sh) {
        if (s.sh_type == SHT_DYNSYM) {
            saw_dynsym = true;
            const Elf64_Shdr &strtab = sh.at(s.sh_link);
            for (size_t i = 1; i < s.sh_size / sizeof(Elf64_Sym); ++i) {
                Elf64_Sym sym;
                std::memcpy(&sym, section(s) + i * sizeof(Elf64_Sym), sizeof(sym));
                int bind = ELF64_ST_BIND(sym.st_info);
                if (sym.st_shndx == SHN_UNDEF ||
                    (bind != STB_GLOBAL && bind != STB_WEAK && bind != STB_GNU_UNIQUE))
                    continue;
                std::string name = str_at(strtab, sym.st_name);
                info->defined.insert(name);
                if (ELF64_ST_TYPE(sym.st_info) != STT_FUNC)
                    info->non_function.insert(name);
            }
        } else if (s.sh_type == SHT_DYNAMIC) {
            const Elf64_Shdr &strtab = sh.at(s.sh_link);
            for (size_t i = 0; i < s.sh_size / sizeof(Elf64_Dyn); ++i) {
                Elf64_Dyn d;
                std::memcpy(&d, section(s) + i * sizeof(Elf64_Dyn), sizeof(d));
                if (d.d_tag == DT_SONAME)
                    info->soname = str_at(strtab, d.d_un.d_val);
            }
        }
    }
    if (!saw_dynsym) {
        *why = "no dynamic symbol table";
        return false;
    }
    return true;
}

} // namespace

TEST(ExportedSymbols, ExactlyTheSevenFunctionsAndASoname)
{
    DynInfo info;
    std::string why;
    ASSERT_TRUE(read_dyn_info(LIBAIRTALLY_SO, &info, &why)) << why;
    const std::set<std::string> expected = {
        "radiostats_init",   "radio_stat_get_all", "radio_stat_free_all", "vap_stat_get_all_nl",
        "vap_stat_get_sock", "vap_stat_free_all",  "radiostats_free"};
    EXPECT_EQ(info.defined, expected);
    EXPECT_TRUE(info.non_function.empty()) << *info.non_function.begin();
    EXPECT_EQ(info.soname, "libairtally.so.0");
}
