#!/usr/bin/env bash
# What a user has set for their own Wine prefixes does not reach the
# project's: with a 32-bit WINEARCH, another Wine's server and loader and a
# prefix of their own in the environment, the scripts still start the
# program, in the project's prefix, and leave the user's alone.
users_prefix="${1:?build directory}/users-own-prefix"
rm -rf "$users_prefix"
export WINEARCH=win32 WINESERVER=/nonexistent/wineserver WINELOADER=/nonexistent/wine
export WINEPREFIX=$users_prefix
source "$(dirname "$0")/lib.sh" "$1"

start_app
check "the dialog comes up" "$(info_field "$APP" class)" "#32770"
check "the user's prefix is not made or touched" "$([ -e "$users_prefix" ] && echo touched)" ""

e2e_finish
