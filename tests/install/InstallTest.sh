#!/usr/bin/env bash
# Checks of an installed Tarvik11, one per CTest test:
#   InstallTest.sh tree BUILD_DIR CMAKE STATE_FILE GUI   install BUILD_DIR into a fresh temporary prefix
#                                                       (named in STATE_FILE) and check what landed
#   InstallTest.sh session STATE_FILE                    a CLI session on the installed talker and sample
#   InstallTest.sh lookup STATE_FILE CONFIGURED_DATA     the installed CLI finds its talker by itself
#                                                       when the tree has been moved
#   InstallTest.sh desktop STATE_FILE                    the desktop entry and AppStream metadata
#   InstallTest.sh manpages STATE_FILE                   the manual pages
#   InstallTest.sh cleanup STATE_FILE                    remove the prefix
#   InstallTest.sh package BUILD_DIR CPACK VERSION GUI   the Debian package: its control fields, its
#                                                       files, and a session from its unpacked tree
# Exit status 0 passed, 1 failed, 77 skipped.
set -uo pipefail

failures=0
fail() {
    echo "FAIL: $*" >&2
    failures=$((failures + 1))
}
finish() {
    [ "$failures" -eq 0 ] || exit 1
    exit 0
}
prefix_from() {
    prefix=$(cat "$1" 2>/dev/null) || { echo "no installed tree (run the install_tree test)" >&2; exit 1; }
    [ -d "$prefix" ] || { echo "the installed tree $prefix is gone" >&2; exit 1; }
}
# Removes the installed tree named in the state file, and the state file.
remove_prefix() {
    local old
    old=$(cat "$1" 2>/dev/null) || return 0
    case "$old" in
    "${TMPDIR:-/tmp}"/tarvik11-prefix-*) rm -rf "$old" ;;
    esac
    rm -f "$1"
}
# A fresh empty folder in $scratch, removed on exit.
scratch_dirs=()
trap 'rm -rf "${scratch_dirs[@]}"' EXIT
new_scratch() {
    scratch=$(mktemp -d "${TMPDIR:-/tmp}/tarvik11-scratch-XXXXXX")
    scratch_dirs+=("$scratch")
}

# Runs the installed CLI on the virtual board from an empty working folder; sets out and rc. The
# long read wait keeps a busy machine from losing a reply.
run_cli() {
    local cli=$1 script=$2
    new_scratch
    out=$(cd "$scratch" && "$cli" --board --delay 1000 -c "$script" 2>&1)
    rc=$?
}
expect_lines() {
    local line shown
    # What the boot measured of the line varies from run to run.
    shown=$(sed 's/^\(Talker download successful\) (link round trip .*)$/\1/' <<<"$out")
    for line in "$@"; do
        grep -qxF -- "$line" <<<"$shown" || fail "no line '$line' in the output"
    done
}

mode=$1
shift
case "$mode" in
tree)
    build=$1 cmake=$2 state=$3 gui=$4
    remove_prefix "$state" # one left by an earlier run
    # Outside the build tree, so that the installed programs cannot fall back on the build's data.
    prefix=$(mktemp -d "${TMPDIR:-/tmp}/tarvik11-prefix-XXXXXX")
    echo "$prefix" >"$state"
    log=$("$cmake" --install "$build" --prefix "$prefix" 2>&1)
    rc=$?
    echo "$log"
    [ "$rc" -eq 0 ] || { fail "cmake --install exited $rc"; finish; }

    # Nothing lands outside the prefix.
    while read -r path; do
        case "$path" in
        "$prefix"/*) ;;
        *) fail "installed outside the prefix: $path" ;;
        esac
    done < <(sed -n 's/^-- \(Installing\|Up-to-date\): //p' <<<"$log")

    expected=(bin/tarvik11-cli bin/tarvik11-board bin/tarvik11-dap share/tarvik11/ambrel.boo
              share/tarvik11/examples/loops.s19 share/tarvik11/examples/loops.elf
              share/tarvik11/examples/loops.s
              share/tarvik11/editors/vscode/package.json share/tarvik11/editors/nvim-dap.lua
              share/man/man1/tarvik11-cli.1.gz share/man/man1/tarvik11-board.1.gz
              share/man/man1/tarvik11-dap.1.gz)
    if [ "$gui" = 1 ]; then
        expected+=(bin/tarvik11 share/man/man1/tarvik11.1.gz)
        for size in 16 32 48 64 128; do
            expected+=("share/icons/hicolor/${size}x${size}/apps/tarvik11.png")
        done
    fi
    for f in "${expected[@]}"; do
        [ -f "$prefix/$f" ] || fail "missing $f"
    done
    for f in "${expected[@]}"; do
        case "$f" in bin/*) [ -x "$prefix/$f" ] || fail "$f is not executable" ;; esac
    done
    # The talker is $FF and the 256-byte image of $0000-$00FF.
    size=$(stat -c %s "$prefix/share/tarvik11/ambrel.boo" 2>/dev/null)
    [ "$size" = 257 ] || fail "ambrel.boo has $size bytes, not 257"
    # Every sample comes with its listing and its map.
    for s19 in "$prefix"/share/tarvik11/examples/*.s19; do
        for ext in lst map; do
            [ -f "${s19%.s19}.$ext" ] || fail "$(basename "$s19") has no .$ext beside it"
        done
    done
    finish
    ;;

session)
    prefix_from "$1"
    data=$prefix/share/tarvik11
    run_cli "$prefix/bin/tarvik11-cli" \
        "boot --mode special-test --talker $data/ambrel.boo; load $data/examples/loops.s19; dump \$c000 \$c01f"
    echo "$out"
    [ "$rc" -eq 0 ] || fail "tarvik11-cli exited $rc"
    expect_lines "Talker download successful" "S19 record loaded successfully" "Memory dump successful"
    # The dump shows the sample's first 32 bytes as its S19 records give them.
    want=$(grep -iE '^S113C0[01]0' "$data/examples/loops.s19" | cut -c9-40 | tr -d '\r\n' | tr 'A-F' 'a-f')
    got=$(grep -iE '^\$c0[01]0 - ' <<<"$out" | cut -c9-55 | tr -d ' \n')
    [ ${#want} -eq 64 ] || fail "loops.s19 has no two full records at \$c000 and \$c010"
    [ "$got" = "$want" ] || fail "dump shows $got, the sample holds $want"
    finish
    ;;

lookup)
    prefix_from "$1"
    configured=$2
    # A moved copy of the tree, as a relocated package would be: the talker is found beside the
    # program, not in the build tree and not where the build was configured to install.
    new_scratch
    moved=$scratch/usr
    cp -a "$prefix" "$moved"
    data=$moved/share/tarvik11
    run_cli "$moved/bin/tarvik11-cli" \
        "boot --mode special-test; load $data/examples/loops.s19; dump \$c000 \$c01f"
    echo "$out"
    [ "$rc" -eq 0 ] || fail "tarvik11-cli exited $rc"
    expect_lines "Talker download successful" "S19 record loaded successfully" "Memory dump successful"
    # Without its talker the moved tree must fail to boot, or the talker came from somewhere else.
    if [ -e "$configured/ambrel.boo" ]; then
        echo "a talker is installed in $configured: not checking that the moved tree's was used"
        finish
    fi
    rm "$data/ambrel.boo"
    run_cli "$moved/bin/tarvik11-cli" "boot --mode special-test"
    echo "$out"
    [ "$rc" -ne 0 ] || fail "boot succeeded with no talker in the installed tree"
    finish
    ;;

desktop)
    prefix_from "$1"
    command -v desktop-file-validate >/dev/null || { echo "desktop-file-validate is not installed"; exit 77; }
    desktops=("$prefix"/share/applications/*.desktop)
    metainfos=("$prefix"/share/metainfo/*.metainfo.xml)
    [ ${#desktops[@]} -eq 1 ] && [ -f "${desktops[0]}" ] || { fail "not one desktop entry"; finish; }
    [ ${#metainfos[@]} -eq 1 ] && [ -f "${metainfos[0]}" ] || { fail "not one metainfo file"; finish; }
    desktop=${desktops[0]} metainfo=${metainfos[0]}
    id=$(basename "$desktop" .desktop)

    desktop-file-validate "$desktop" || fail "desktop-file-validate rejects $(basename "$desktop")"
    grep -qx 'Categories=Development;Debugger;' "$desktop" || fail "the entry's categories are not Development;Debugger;"
    # What the entry names is installed: the program of each Exec line, the icon in the theme.
    while read -r program; do
        [ -x "$prefix/bin/$program" ] || fail "Exec names $program, which is not installed"
    done < <(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
    icon=$(sed -n 's/^Icon=//p' "$desktop")
    compgen -G "$prefix/share/icons/hicolor/*/apps/$icon.png" >/dev/null || fail "no icon $icon in the hicolor theme"

    [ "$(basename "$metainfo" .metainfo.xml)" = "$id" ] || fail "the metainfo file is not named after $id"
    grep -qF "<id>$id</id>" "$metainfo" || fail "the metainfo's id is not $id"
    grep -qF "<launchable type=\"desktop-id\">$id.desktop</launchable>" "$metainfo" \
        || fail "the metainfo does not launch $id.desktop"
    if command -v appstreamcli >/dev/null; then
        appstreamcli validate --no-net "$metainfo" || fail "appstreamcli rejects $(basename "$metainfo")"
    else
        echo "appstreamcli is not installed: metadata not validated"
    fi
    finish
    ;;

manpages)
    prefix_from "$1"
    man1=$prefix/share/man/man1
    pages=("$man1"/*.1.gz)
    [ -f "${pages[0]}" ] || { fail "no manual pages"; finish; }
    for page in "${pages[@]}"; do
        name=$(basename "$page" .1.gz)
        text=$(gzip -dc "$page") || { fail "$name.1.gz does not unpack"; continue; }
        if command -v groff >/dev/null; then
            warnings=$(groff -man -ww -z <<<"$text" 2>&1)
            [ -z "$warnings" ] || fail "$name(1) has roff warnings: $warnings"
        fi
        if command -v lexgrog >/dev/null; then
            lexgrog "$page" >/dev/null || fail "$name(1) has no NAME line that whatis can read"
        fi
        grep -qF 'dialout' <<<"$text" || fail "$name(1) says nothing of the dialout group"
        program=$prefix/bin/$name
        [ "$name" = tarvik11 ] && continue # the window program prints no help of its own
        [ -x "$program" ] || { fail "$name(1) documents a program that is not installed"; continue; }
        # Every option and command the program's help names is an entry on the page.
        terms=$(grep -A1 '^\.TP' <<<"$text" | grep -v '^\.TP\|^--$' | sed 's/\\-/-/g; s/\\f[BIR]//g')
        help=$("$program" --help)
        for option in $(grep -oE '(^|[ [|])--?[a-z][a-z-]*' <<<"$help" | sed 's/^[ [|]//' | sort -u); do
            grep -qE -- "(^|, )$option( |,|$)" <<<"$terms" || fail "$name(1) has no entry for $option"
        done
        for command in $(sed -n 's/^  \([a-z]\+\)\( \|$\).*/\1/p' <<<"$help" | sort -u); do
            grep -qE -- "^$command( |$)" <<<"$terms" || fail "$name(1) has no entry for $command"
        done
    done
    finish
    ;;

package)
    build=$1 cpack=$2 version=$3 gui=$4
    for tool in dpkg-deb dpkg-shlibdeps; do
        command -v $tool >/dev/null || { echo "$tool is not installed"; exit 77; }
    done
    new_scratch
    staging=$scratch
    log=$(cd "$staging" && "$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$staging" 2>&1)
    rc=$?
    echo "$log"
    [ "$rc" -eq 0 ] || { fail "cpack exited $rc"; finish; }
    debs=("$staging"/*.deb)
    [ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { fail "cpack made no single package"; finish; }
    deb=${debs[0]}

    info=$(dpkg-deb -I "$deb")
    echo "$info"
    field() { dpkg-deb -f "$deb" "$1"; }
    [ "$(field Package)" = tarvik11 ] || fail "Package is '$(field Package)'"
    [ "$(field Version)" = "$version-1" ] || fail "Version is '$(field Version)', not $version-1"
    [ "$(field Section)" = devel ] || fail "Section is '$(field Section)'"
    maintainer_form='^.+ <.+@.+>$'
    [[ "$(field Maintainer)" =~ $maintainer_form ]] || fail "Maintainer is '$(field Maintainer)'"
    [[ "$(field Recommends)" == *binutils-m68hc1x* ]] || fail "binutils-m68hc1x is not recommended"
    depends=$(field Depends)
    wanted=(libc6 libstdc++6)
    [ "$gui" = 1 ] && wanted+=(libqt6core6 libqt6gui6 libqt6widgets6 qt6-qpa-plugins)
    for p in "${wanted[@]}"; do
        [[ ", $depends," == *", $p "* || ", $depends," == *", $p,"* ]] || fail "Depends lacks $p: $depends"
    done

    # Everything lands under /usr.
    contents=$(dpkg-deb -c "$deb")
    outside=$(awk '{print $6}' <<<"$contents" | grep -v '^\./usr/' | grep -vx '\./')
    [ -z "$outside" ] || fail "files outside /usr: $outside"

    # Unpacked into a scratch root (the install rules' other files are checked by the tree check).
    new_scratch
    root=$scratch
    dpkg-deb -x "$deb" "$root" || { fail "dpkg-deb -x failed"; finish; }
    data=$root/usr/share/tarvik11
    run_cli "$root/usr/bin/tarvik11-cli" \
        "boot --mode special-test --talker $data/ambrel.boo; load $data/examples/loops.s19; dump \$c000 \$c01f"
    echo "$out"
    [ "$rc" -eq 0 ] || fail "the packaged tarvik11-cli exited $rc"
    expect_lines "Talker download successful" "S19 record loaded successfully" "Memory dump successful"
    finish
    ;;

cleanup)
    remove_prefix "$1"
    exit 0
    ;;

*)
    echo "unknown check $mode" >&2
    exit 1
    ;;
esac
# Every check above ends with its own exit; coming here means the script itself is broken.
echo "InstallTest.sh: the $mode check did not finish" >&2
exit 1
