// SPDX-License-Identifier: MIT
#include "page_command.h"

#include "command.h"

#include <cJSON.h>
#include <cmath>
#include <memory>
#include <string>

namespace
{

using JsonPtr = std::unique_ptr<cJSON, decltype(&cJSON_Delete)>;

struct PageCommand {
    const char *type;
    CommandKind kind;
};

constexpr PageCommand PAGE_COMMANDS[] = {
    {"period", CommandKind::SetAggregation},
    {"sweep", CommandKind::StartSweep},
    {"cancel", CommandKind::CancelSweep},
    {"air", CommandKind::Air},
};

} // namespace

PageCommandResult page_command_to_json(std::string_view message, std::string &json,
                                       std::string &error)
{
    json.clear();
    error.clear();
    JsonPtr msg(cJSON_ParseWithLength(message.data(), message.size()), cJSON_Delete);
    if (!msg || !cJSON_IsObject(msg.get())) {
        error =
            command_error_text({CommandError::NotObject, CommandField::NONE}, CommandKeys::Page);
        return PageCommandResult::Invalid;
    }
    const char *type = cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(msg.get(), "type"));
    if (type == nullptr) {
        error = "command has no type";
        return PageCommandResult::Invalid;
    }
    // The page's own text is not echoed: the message goes back into JSON
    // and onto the page.
    for (const PageCommand &command : PAGE_COMMANDS) {
        if (std::string_view(type) != command.type)
            continue;
        DaemonCommand cmd{};
        const CommandCheck check = command_fields(msg.get(), command.kind, CommandKeys::Page, cmd);
        if (check.error != CommandError::Ok) {
            error = command_error_text(check, CommandKeys::Page);
            return PageCommandResult::Invalid;
        }
        json = encode_command(cmd);
        return PageCommandResult::Ok;
    }
    error = "unknown command type (known: period, sweep, cancel, air)";
    return PageCommandResult::Invalid;
}

PageSelectResult page_select_radio(std::string_view message, int max_radio, int &radio,
                                   std::string &error)
{
    JsonPtr msg(cJSON_ParseWithLength(message.data(), message.size()), cJSON_Delete);
    const char *type =
        cJSON_IsObject(msg.get())
            ? cJSON_GetStringValue(cJSON_GetObjectItemCaseSensitive(msg.get(), "type"))
            : nullptr;
    if (type == nullptr || std::string_view(type) != "select")
        return PageSelectResult::NotSelect;
    if (max_radio <= 0) {
        error = "no radio has been heard of yet";
        return PageSelectResult::Invalid;
    }
    const cJSON *item = cJSON_GetObjectItemCaseSensitive(msg.get(), "radio");
    const double v = cJSON_IsNumber(item) ? item->valuedouble : NAN;
    if (!(v >= 0 && v <= max_radio - 1) || std::floor(v) != v) {
        error =
            item == nullptr || cJSON_IsNull(item)
                ? "select: radio is missing"
                : "select: radio must be 0 to " + std::to_string(max_radio - 1) + " (a radio id)";
        return PageSelectResult::Invalid;
    }
    radio = static_cast<int>(v);
    return PageSelectResult::Select;
}
