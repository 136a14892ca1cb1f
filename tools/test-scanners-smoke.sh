#!/usr/bin/env bash
# The side-by-side benchmark as a smoke check of the test command: a tiny
# band, every tool must find it. Its figures mean nothing.
exec "$(dirname "$0")/bench-scanners.sh" --smoke
