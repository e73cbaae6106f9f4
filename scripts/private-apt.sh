#!/usr/bin/env bash
# Sourced: a private apt configuration in a folder of its own, for downloading packages or source
# packages without touching the system's sources or lists.
#   private_apt_init DIR TYPE SUITE    TYPE is deb or deb-src; sets mirror (the mirror the system
#                                      already uses) and private_apt (the apt-get command to run)
# Only `update`, `download` and `source --download-only` are meant to run with it: installing from
# another suite would replace the system's libraries.

private_apt_init() {
  local dir=$1 type=$2 suite=$3
  mirror=$(grep -hoE '^(URIs:|deb) +https?://[^ ]+/debian/?( |$)' /etc/apt/sources.list \
    /etc/apt/sources.list.d/*.sources /etc/apt/sources.list.d/*.list 2>/dev/null |
    head -n1 | awk '{print $2}' || true)
  mirror=${mirror:-http://deb.debian.org/debian}
  mkdir -p "$dir"/{parts,lists/partial,cache/archives/partial}
  echo "$type [signed-by=/usr/share/keyrings/debian-archive-keyring.gpg] ${mirror%/} $suite main" \
    >"$dir/sources.list"
  private_apt=(apt-get -q -o "Dir::Etc::SourceList=$dir/sources.list"
    -o "Dir::Etc::SourceParts=$dir/parts" -o "Dir::State::Lists=$dir/lists"
    -o "Dir::Cache=$dir/cache" -o "APT::Sandbox::User=root")
}
