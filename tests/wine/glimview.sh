#!/usr/bin/env bash
# glimview on a file from a real save under Wine: see tests/tools/glimview-wine.sh.
exec bash "$(dirname "$0")/../tools/glimview-wine.sh" "$@"
