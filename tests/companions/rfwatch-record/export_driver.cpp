// SPDX-License-Identifier: MIT
// `export-driver --export csv|sigmf IN OUT`: run_export alone. With
// EXPORT_PEAK_FILE set it writes there its own image's peak resident memory
// (VmHWM, kB): getrusage's would also count the process that started it.
#include "export.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace
{

void write_peak(const char *path)
{
    FILE *status = fopen("/proc/self/status", "re");
    FILE *out = fopen(path, "we");
    char line[256];
    while (status && out && fgets(line, sizeof line, status))
        if (strncmp(line, "VmHWM:", 6) == 0)
            fputs(line + 6, out);
    if (status)
        fclose(status);
    if (out)
        fclose(out);
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 5 || strcmp(argv[1], "--export") != 0 ||
        (strcmp(argv[2], "csv") != 0 && strcmp(argv[2], "sigmf") != 0)) {
        fprintf(stderr, "usage: export-driver --export csv|sigmf IN OUT\n");
        return 2;
    }
    const int status = run_export(strcmp(argv[2], "csv") == 0 ? ExportKind::Csv : ExportKind::Sigmf,
                                  argv[3], argv[4]);
    if (const char *peak = getenv("EXPORT_PEAK_FILE"))
        write_peak(peak);
    return status;
}
