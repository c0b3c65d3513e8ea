// SPDX-License-Identifier: MIT
// Renders the library's two lists for a person (a table) or a script (JSON).
#pragma once

#include "airtally.h"

#include <string>

namespace airtally_show
{

std::string format_table(const radio_stat *radios, const vap_stat *vaps);
// One JSON object, {"radios":[...],"vaps":[...]}, and a line feed.
std::string format_json(const radio_stat *radios, const vap_stat *vaps);

} // namespace airtally_show
