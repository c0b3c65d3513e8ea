// SPDX-License-Identifier: MIT
#include "command_line.h"

int main(int argc, char **argv)
{
    return run_event_tool(argc, argv);
}
