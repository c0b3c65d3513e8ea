// SPDX-License-Identifier: MIT
#include "socket_name.h"

std::string radio_from_socket(std::string_view socket_path)
{
    if (const size_t slash = socket_path.rfind('/'); slash != std::string_view::npos)
        socket_path.remove_prefix(slash + 1);
    if (const size_t dot = socket_path.rfind('.'); dot != std::string_view::npos && dot > 0)
        socket_path = socket_path.substr(0, dot);
    return std::string(socket_path);
}
