// SPDX-License-Identifier: MIT
/* An outside program built only from what `cmake --install` puts in a
 * prefix: the header, and the library found through pkg-config. Exit 0 when
 * the lists could be read, 3 when radiostats_init refused (no nl80211 on
 * this machine), anything else is a fault. */
#include <airtally.h>

#include <stdio.h>

int main(void)
{
    struct radiostats *h = radiostats_init();
    if (!h)
        return 3;
    int radios = 0, vaps = 0;
    struct radio_stat *rh = radio_stat_get_all(h);
    for (struct radio_stat *r = rh ? rh->next : NULL; r && r != rh; r = r->next)
        ++radios;
    struct vap_stat *vh = vap_stat_get_all_nl(h);
    for (struct vap_stat *v = vh ? vh->next : NULL; v && v != vh; v = v->next)
        ++vaps;
    printf("%d radios, %d interfaces\n", radios, vaps);
    vap_stat_free_all(h);
    radio_stat_free_all(h);
    radiostats_free(h);
    return 0;
}
