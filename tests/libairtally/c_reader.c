// SPDX-License-Identifier: MIT
/* An outside C program's view of the records: compiled as C against the
 * installed header only, it walks the lists and prints every member. */
#include "airtally.h"

#include <stddef.h>
#include <stdio.h>

_Static_assert(sizeof(struct radio_stat) == 80, "radio_stat size");
_Static_assert(sizeof(struct vap_stat) == 136, "vap_stat size");

size_t c_radio_offsets(size_t *out)
{
    size_t n = 0;
    out[n++] = offsetof(struct radio_stat, next);
    out[n++] = offsetof(struct radio_stat, prev);
    out[n++] = offsetof(struct radio_stat, ifname);
    out[n++] = offsetof(struct radio_stat, phy);
    out[n++] = offsetof(struct radio_stat, ifindex);
    out[n++] = offsetof(struct radio_stat, phy_name);
    out[n++] = offsetof(struct radio_stat, mac);
    out[n++] = offsetof(struct radio_stat, country);
    out[n++] = offsetof(struct radio_stat, antenna_tx);
    out[n++] = offsetof(struct radio_stat, antenna_rx);
    out[n++] = offsetof(struct radio_stat, freq);
    out[n++] = offsetof(struct radio_stat, chan_width);
    out[n++] = offsetof(struct radio_stat, phy_modes);
    out[n++] = offsetof(struct radio_stat, tx_power);
    out[n++] = sizeof(struct radio_stat);
    return n;
}

size_t c_vap_offsets(size_t *out)
{
    size_t n = 0;
    out[n++] = offsetof(struct vap_stat, next);
    out[n++] = offsetof(struct vap_stat, prev);
    out[n++] = offsetof(struct vap_stat, ifindex);
    out[n++] = offsetof(struct vap_stat, ifname);
    out[n++] = offsetof(struct vap_stat, mac);
    out[n++] = offsetof(struct vap_stat, phy);
    out[n++] = offsetof(struct vap_stat, iftype);
    out[n++] = offsetof(struct vap_stat, ssid);
    out[n++] = offsetof(struct vap_stat, use_4addr);
    out[n++] = offsetof(struct vap_stat, wpa);
    out[n++] = offsetof(struct vap_stat, key_mgmt);
    out[n++] = offsetof(struct vap_stat, pairwise_cipher);
    out[n++] = offsetof(struct vap_stat, group_cipher);
    out[n++] = sizeof(struct vap_stat);
    return n;
}

int c_describe_radios(struct radio_stat *head, char *out, size_t cap)
{
    size_t used = 0;
    for (const struct radio_stat *r = head->next; r != head; r = r->next) {
        int n =
            snprintf(out + used, cap - used,
                     "%s|%u|%u|%s|%02x:%02x:%02x:%02x:%02x:%02x|%s|%u|%u|%u|%u|%u|%u\n", r->ifname,
                     (unsigned)r->phy, (unsigned)r->ifindex, r->phy_name, r->mac[0], r->mac[1],
                     r->mac[2], r->mac[3], r->mac[4], r->mac[5], r->country, r->antenna_tx,
                     r->antenna_rx, (unsigned)r->freq, r->chan_width, r->phy_modes, r->tx_power);
        if (n < 0 || (size_t)n >= cap - used)
            return -1;
        used += (size_t)n;
    }
    return (int)used;
}

int c_describe_vaps(struct vap_stat *head, char *out, size_t cap)
{
    size_t used = 0;
    for (const struct vap_stat *v = head->next; v != head; v = v->next) {
        int n = snprintf(out + used, cap - used,
                         "%u|%s|%02x:%02x:%02x:%02x:%02x:%02x|%u|%u|%s|%u|%u|%08x|%08x|%08x\n",
                         (unsigned)v->ifindex, v->ifname, v->mac[0], v->mac[1], v->mac[2],
                         v->mac[3], v->mac[4], v->mac[5], (unsigned)v->phy, (unsigned)v->iftype,
                         v->ssid, v->use_4addr, (unsigned)v->wpa, (unsigned)v->key_mgmt,
                         (unsigned)v->pairwise_cipher, (unsigned)v->group_cipher);
        if (n < 0 || (size_t)n >= cap - used)
            return -1;
        used += (size_t)n;
    }
    return (int)used;
}
