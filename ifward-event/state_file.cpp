// SPDX-License-Identifier: MIT
#include "state_file.h"

#include "guards.h"
#include "log.h"
#include "send.h"
#include "state_line.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <net/if.h>

namespace
{

// Lines are read in pieces of this buffer; line numbers count pieces.
constexpr int LINE_BUFFER = 256;
// Lookup by name goes through buckets, so files naming very many
// interfaces are not read in quadratic time.
constexpr std::size_t STATE_BUCKETS = 1024;

struct InterfaceState {
    StateDatagram d;
    InterfaceState *next;   // send order: newest first, closing record last
    InterfaceState *bucket; // next state in the same bucket
};

// Owns every state until the list is freed.
struct StateList {
    InterfaceState *head;
    InterfaceState *buckets[STATE_BUCKETS];
};

void state_list_free(StateList *list)
{
    while (list->head) {
        InterfaceState *n = list->head->next;
        std::free(list->head);
        list->head = n;
    }
    std::free(list);
}

// A list holding only the closing record: the first one in, so it is sent
// last. nullptr when an allocation fails.
StateList *state_list_new()
{
    auto *list = static_cast<StateList *>(std::calloc(1, sizeof(StateList)));
    if (!list)
        return nullptr;
    list->head = static_cast<InterfaceState *>(std::calloc(1, sizeof(InterfaceState)));
    if (!list->head) {
        std::free(list);
        return nullptr;
    }
    return list;
}

std::size_t name_bucket(const char *name)
{
    uint32_t h = 2166136261u; // FNV-1a
    for (const char *p = name; *p; ++p)
        h = (h ^ static_cast<unsigned char>(*p)) * 16777619u;
    return h % STATE_BUCKETS;
}

InterfaceState *find_or_add(StateList *list, const char *name)
{
    std::size_t b = name_bucket(name);
    for (InterfaceState *s = list->buckets[b]; s; s = s->bucket)
        if (std::strcmp(s->d.ifname, name) == 0)
            return s;
    auto *s = static_cast<InterfaceState *>(std::calloc(1, sizeof(InterfaceState)));
    if (!s)
        return nullptr;
    datagram_copy_name(s->d.ifname, name);
    s->d.ifindex = static_cast<int32_t>(if_nametoindex(name));
    // Named in the file means present, unless an exists line says otherwise.
    s->d.exists = 1;
    s->next = list->head;
    list->head = s;
    s->bucket = list->buckets[b];
    list->buckets[b] = s;
    return s;
}

// Reads every line into the list. False after logging why.
bool read_states(FILE *f, const char *path, StateList *list)
{
    char piece[LINE_BUFFER];
    unsigned long long line_no = 0;
    while (std::fgets(piece, sizeof(piece), f)) {
        ++line_no;
        StateLine line;
        const char *text = "";
        LineScan scan = state_line_scan(piece, &line, &text);
        if (scan == LINE_SKIP)
            continue;
        if (scan == LINE_MALFORMED) {
            log_warning("Malformed line %llu in %s (ignored): %s", line_no, path, text);
            continue;
        }
        InterfaceState *s = find_or_add(list, line.ifname);
        if (!s) {
            log_error("Memory allocation failed");
            return false;
        }
        ApplyResult r = state_apply(&s->d, line);
        if (r == APPLY_UNKNOWN) {
            log_warning("Ignored unknown property: %s.%s", line.ifname, line.property);
        } else if (r == APPLY_INVALID) {
            log_error("Error processing line %llu in %s", line_no, path);
            return false;
        }
    }
    // A read error is no end of file: replaying a part would tell ifward
    // a wrong picture.
    if (std::ferror(f)) {
        log_error_errno("read(%s) failed", path);
        return false;
    }
    return true;
}

void send_state(const InterfaceState &s)
{
    bool closing = s.d.ifname[0] == '\0';
    FdGuard sock(datagram_socket_open());
    bool sent = sock.get() >= 0;
    if (sent) {
        if (closing)
            log_debug("Sending dummy state to %s", IFWARD_SOCKET_PATH);
        else
            log_debug("Sending state for %s to %s", s.d.ifname, IFWARD_SOCKET_PATH);
        sent = datagram_socket_send(sock.get(), datagram_bytes(s.d));
    }
    if (!sent)
        log_error("Failed to send state for interface %s", s.d.ifname);
    else if (!closing)
        log_info("Interface state sent for %s", s.d.ifname);
}

} // namespace

bool import_state_file(const char *path)
{
    FreePtr<FILE, std::fclose> f(std::fopen(path, "re"));
    if (!f) {
        log_error_errno("open(%s) for reading failed", path);
        return false;
    }
    FreePtr<StateList, state_list_free> list(state_list_new());
    if (!list) {
        log_error_errno("calloc() failed");
        return false;
    }
    log_debug("Processing state file: %s", path);
    if (!read_states(f.get(), path, list.get()))
        return false;
    f.reset();

    for (const InterfaceState *s = list->head; s; s = s->next)
        send_state(*s);
    log_debug("State file processing complete");
    return true;
}
