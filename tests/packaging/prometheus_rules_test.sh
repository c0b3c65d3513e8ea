#!/bin/sh
# SPDX-License-Identifier: MIT
# The alerting rules Prometheus is given load (promtool check rules) and
# behave as their tests say (promtool test rules).
# Usage: prometheus_rules_test.sh RULES_DIR
# shellcheck shell=dash
set -u
if ! command -v promtool >/dev/null; then
	echo "SKIPPED: promtool is not installed (Debian's prometheus package; tools/setup installs it)"
	exit 77
fi
status=0
for rules in "$1"/*.rules.yml; do
	promtool check rules "$rules" || status=1
	promtool test rules "${rules%.rules.yml}.tests.yml" || status=1
done
exit $status
