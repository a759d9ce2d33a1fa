#!/usr/bin/env bash
# Unpacks Debian's own source of the libraries the game links, at the versions the desktop build
# uses, for builds that cannot use the system's binary packages (the web and Windows builds).
#
#   tools/debian_source.sh DIR PACKAGE...
#
# PACKAGE is a -dev binary package the desktop build links (libsdl2-dev, libfreetype-dev). Its source
# is fetched through a private apt configuration under DIR/apt (the system's apt sources are never
# touched), unpacked with Debian's patches applied into DIR/<source>-<upstream version>, and that path
# is printed, one line a package. A source already unpacked is not fetched again.
set -euo pipefail

if [ $# -lt 2 ]; then
    echo "usage: $0 DIR PACKAGE..." >&2
    exit 2
fi
dir=$(mkdir -p "$1" && cd "$1" && pwd)
shift

apt=$dir/apt
apt_opts=(-o "Dir::Etc::SourceList=$apt/sources.list" -o "Dir::Etc::SourceParts=$apt/sources.list.d"
          -o "Dir::Etc::Preferences=$apt/preferences" -o "Dir::Etc::PreferencesParts=$apt/preferences.d"
          -o "Dir::State::Lists=$apt/lists" -o "Dir::Cache=$apt/cache" -o "APT::Sandbox::User=root")

updated=0
update_lists() {
    [ $updated -eq 1 ] && return 0
    mkdir -p "$apt/sources.list.d" "$apt/preferences.d" "$apt/lists/partial" "$apt/cache/archives/partial"
    . /etc/os-release
    cat > "$apt/sources.list" <<EOF
deb-src http://deb.debian.org/debian ${VERSION_CODENAME} main
deb-src http://deb.debian.org/debian ${VERSION_CODENAME}-updates main
deb-src http://deb.debian.org/debian-security ${VERSION_CODENAME}-security main
EOF
    apt-get "${apt_opts[@]}" -qq update >&2
    updated=1
}

for pkg in "$@"; do
    # The source package and version that the installed (or installable) binary package comes from.
    if ! info=$(dpkg-query -W -f='${source:Package} ${source:Version}' "$pkg" 2>/dev/null) || [ -z "$info" ]; then
        echo "$0: $pkg is not installed; install it first so the version is known" >&2
        exit 1
    fi
    src=${info% *}
    version=${info#* }
    upstream=${version#*:}
    upstream=${upstream%-*}
    out=$dir/$src-$upstream
    if [ ! -f "$out/.unpacked" ]; then
        update_lists
        rm -rf "$out" "$dir/dl-$src"
        mkdir -p "$dir/dl-$src"
        if ! (cd "$dir/dl-$src" && apt-get "${apt_opts[@]}" -qq source --download-only "$src=$version" >&2); then
            # A mirror may lack the source of a security update: the release's source of the same
            # upstream version is the library the update patched.
            version=$(apt-cache "${apt_opts[@]}" showsrc "$src" | sed -n 's/^Version: //p' |
                      while read -r v; do u=${v#*:}; [ "${u%-*}" = "$upstream" ] && echo "$v"; done |
                      grep -vxF "$version" | head -n 1)
            [ -n "$version" ] || { echo "$0: no source of $src $upstream to fetch" >&2; exit 1; }
            echo "$0: taking $src $version instead" >&2
            (cd "$dir/dl-$src" && apt-get "${apt_opts[@]}" -qq source --download-only "$src=$version" >&2)
        fi
        dpkg-source --no-check -x "$dir/dl-$src/${src}_${version#*:}.dsc" "$out" >&2
        rm -rf "$dir/dl-$src" "$dir/${src}_"*
        touch "$out/.unpacked"
    fi
    echo "$out"
done
