// SPDX-License-Identifier: MIT
#include "command_input.h"

#include "command.h"

namespace
{

bool blank(std::string_view text)
{
    return text.find_first_not_of(" \t\r") == std::string_view::npos;
}

void emit(std::string_view command, CommandSink sink, void *context)
{
    if (!blank(command))
        sink(context, command);
}

} // namespace

void command_input_feed(CommandInput &in, std::string_view read, CommandSink sink, void *context)
{
    size_t lf = read.find('\n');
    if (lf == std::string_view::npos) {
        in.held.append(read);
        emit(in.held, sink, context);
        in.held.clear();
        return;
    }
    // The first line completes what an earlier read left.
    in.held.append(read.substr(0, lf));
    emit(in.held, sink, context);
    in.held.clear();
    for (size_t start = lf + 1;; start = lf + 1) {
        lf = read.find('\n', start);
        if (lf == std::string_view::npos) {
            const std::string_view rest = read.substr(start);
            // Longer than any command: refused now rather than held for ever.
            if (rest.size() > COMMAND_MAX_BYTES)
                emit(rest, sink, context);
            else if (!blank(rest))
                in.held.assign(rest);
            return;
        }
        emit(read.substr(start, lf - start), sink, context);
    }
}

void command_input_end(CommandInput &in, CommandSink sink, void *context)
{
    emit(in.held, sink, context);
    in.held.clear();
}
