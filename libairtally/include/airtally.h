// SPDX-License-Identifier: MIT
/*
 * libairtally: per-radio and per-interface statistics of a wireless access
 * point, read from nl80211 and from the hostapd / wpa_supplicant control
 * sockets.
 *
 * The library owns every record it hands out. Walk a list from the head's
 * `next` until it comes back to the head; only `next` and `prev` of the head
 * itself are meaningful:
 *
 *     struct radio_stat *head = radio_stat_get_all(h);
 *     for (struct radio_stat *r = head->next; r != head; r = r->next)
 *             printf("%s\n", r->phy_name);
 *
 * One thread at a time per handle; vap_stat_get_sock blocks up to 2 s per
 * request to a daemon.
 */
#ifndef AIRTALLY_H
#define AIRTALLY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#if defined(__GNUC__)
#define AIRTALLY_API __attribute__((visibility("default")))
#else
#define AIRTALLY_API
#endif

/* Bits of radio_stat.phy_modes. */
#define AIRTALLY_MODE_REPORTED 0x01u
#define AIRTALLY_MODE_HT 0x02u
#define AIRTALLY_MODE_VHT 0x04u
#define AIRTALLY_MODE_HE 0x08u

/* Bits of vap_stat.wpa. */
#define AIRTALLY_WPA_WPA1 0x01u
#define AIRTALLY_WPA_RSN 0x02u

/* The handle; its contents are private to the library. */
struct radiostats;

/* One wireless phy. */
struct radio_stat {
    struct radio_stat *next;
    struct radio_stat *prev;
    char ifname[16];    /* first interface found on this phy */
    uint32_t phy;       /* nl80211 wiphy index: the key */
    uint32_t ifindex;   /* an interface on this phy */
    char phy_name[16];  /* wiphy name */
    uint8_t mac[6];     /* MAC of an interface on this phy */
    char country[3];    /* regulatory alpha2 of the phy's own domain, or "" */
    uint8_t antenna_tx; /* low 8 bits of the configured antenna bitmaps */
    uint8_t antenna_rx;
    uint32_t freq;      /* MHz */
    uint8_t chan_width; /* MHz: 20, 40, 80 or 160 */
    uint8_t phy_modes;  /* AIRTALLY_MODE_* */
    uint8_t tx_power;   /* dBm, truncated; read it as int8_t */
};

/* One network interface (virtual access point, station, ...). */
struct vap_stat {
    struct vap_stat *next;
    struct vap_stat *prev;
    uint32_t ifindex; /* the key */
    char ifname[16];
    uint8_t mac[6];
    uint32_t phy;
    uint32_t iftype; /* enum nl80211_iftype: 2 station, 3 access point, ... */
    char ssid[64];
    uint8_t use_4addr;
    uint32_t wpa;             /* AIRTALLY_WPA_* */
    uint32_t key_mgmt;        /* suite selector, e.g. 0x000FAC02; 0 when unknown */
    uint32_t pairwise_cipher; /* suite selector, e.g. 0x000FAC04; 0 when unknown */
    uint32_t group_cipher;
};

/* A new handle, or NULL (the reason is printed on standard error). */
AIRTALLY_API struct radiostats *radiostats_init(void);
/* Refreshes the radio list from nl80211 and returns its head. */
AIRTALLY_API struct radio_stat *radio_stat_get_all(struct radiostats *h);
AIRTALLY_API void radio_stat_free_all(struct radiostats *h);
/* Refreshes the interface list from nl80211 and returns its head. */
AIRTALLY_API struct vap_stat *vap_stat_get_all_nl(struct radiostats *h);
/* Fills the security members of an access point or station interface from
 * its daemon's control socket; returns vap. */
AIRTALLY_API struct vap_stat *vap_stat_get_sock(struct radiostats *h, struct vap_stat *vap);
AIRTALLY_API void vap_stat_free_all(struct radiostats *h);
/* Releases everything; h may be NULL. */
AIRTALLY_API void radiostats_free(struct radiostats *h);

#ifdef __cplusplus
}
#endif

#endif /* AIRTALLY_H */
