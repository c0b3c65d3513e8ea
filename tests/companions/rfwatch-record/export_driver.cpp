// `export-driver --export csv|sigmf IN OUT`: run_export alone, so the
// formats are tested end to end whatever state rfwatch-record's options are in.
#include "export.h"

#include <cstdio>
#include <cstring>

int main(int argc, char **argv)
{
    if (argc != 5 || strcmp(argv[1], "--export") != 0 ||
        (strcmp(argv[2], "csv") != 0 && strcmp(argv[2], "sigmf") != 0)) {
        fprintf(stderr, "usage: export-driver --export csv|sigmf IN OUT\n");
        return 2;
    }
    return run_export(strcmp(argv[2], "csv") == 0 ? ExportKind::Csv : ExportKind::Sigmf, argv[3],
                      argv[4]);
}
