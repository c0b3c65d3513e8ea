// SPDX-License-Identifier: MIT
// Hand-made starting inputs for the libFuzzer harnesses: each is written as
// a file of its own in the harness's corpus folder, named after its content.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <vector>

namespace wdtest
{

// The corpus folder a seed writer was given, or exit with its usage.
inline const char *seed_root(int argc, char **argv)
{
    if (argc != 2) {
        fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
        exit(2);
    }
    return argv[1];
}

class SeedWriter
{
  public:
    // root is the deliverable's corpus folder; harness its subfolder.
    SeedWriter(const char *root, const char *harness) : dir_(std::string(root) + "/" + harness)
    {
        mkdir(root, 0755);
        mkdir(dir_.c_str(), 0755);
    }

    void write(const char *name, std::string_view bytes) const
    {
        std::string path = dir_ + "/" + name;
        FILE *f = fopen(path.c_str(), "wb");
        if (f == nullptr || fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size() ||
            fclose(f) != 0) {
            perror(path.c_str());
            exit(1);
        }
    }
    void write(const char *name, const std::vector<uint8_t> &bytes) const
    {
        write(name, {reinterpret_cast<const char *>(bytes.data()), bytes.size()});
    }

  private:
    std::string dir_;
};

} // namespace wdtest
