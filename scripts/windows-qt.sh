# Sourced by scripts/windows: the toolkit for Windows, cross-built once with
# MinGW-w64 from the source archives in TAV_QT_SOURCES and kept in a cache
# folder outside the tree, which later runs reuse. Not meant to be run on its own.

TAV_QT_VERSION=5.15.8
TAV_WINDOWS_QT=${TAV_WINDOWS_QT:-${XDG_CACHE_HOME:-$HOME/.cache}/tav-panel/qt-$TAV_QT_VERSION-mingw64}
QTBASE_ARCHIVE=qtbase-opensource-src_$TAV_QT_VERSION+dfsg.orig.tar.xz
QTSERIALPORT_ARCHIVE=qtserialport-everywhere-src-$TAV_QT_VERSION.tar.xz

# posix_compilers DIR: puts in DIR the MinGW compilers under their plain names,
# leading to the posix thread model (std::mutex and std::thread need it), and
# DIR first on PATH; the system's alternatives are left as they are.
posix_compilers() {
    local dir=$1 tool
    mkdir -p "$dir"
    for tool in gcc g++; do
        ln -sf "$(command -v x86_64-w64-mingw32-$tool-posix)" "$dir/x86_64-w64-mingw32-$tool"
    done
    PATH=$dir:$PATH
}

# qt_sources_checked: the two archives are in TAV_QT_SOURCES and, when it holds
# a SHA256SUMS, match it.
qt_sources_checked() {
    local archive
    if [ -z "${TAV_QT_SOURCES:-}" ]; then
        echo "scripts/windows: TAV_QT_SOURCES is not set; it names the folder that holds" >&2
        echo "  $QTBASE_ARCHIVE and $QTSERIALPORT_ARCHIVE (see docs/maintainer/windows.md)" >&2
        return 2
    fi
    for archive in "$QTBASE_ARCHIVE" "$QTSERIALPORT_ARCHIVE"; do
        if [ ! -r "$TAV_QT_SOURCES/$archive" ]; then
            echo "scripts/windows: no $archive in TAV_QT_SOURCES ($TAV_QT_SOURCES)" >&2
            return 2
        fi
    done
    if [ -f "$TAV_QT_SOURCES/SHA256SUMS" ] &&
        ! (cd "$TAV_QT_SOURCES" && sha256sum --quiet --ignore-missing -c SHA256SUMS >&2); then
        echo "scripts/windows: the archives in $TAV_QT_SOURCES do not match their SHA256SUMS" >&2
        return 2
    fi
}

# with_progress WHAT LOG COMMAND...: runs COMMAND with its output in LOG,
# printing one line a minute with the objects built so far; on failure, the
# end of LOG.
with_progress() {
    local what=$1 log=$2 start=$SECONDS next=60 pid status=0
    shift 2
    "$@" >"$log" 2>&1 &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        sleep 5
        if (( SECONDS - start >= next )); then
            printf 'cross Qt: %s, %d objects built, %d min\n' "$what" \
                "$(find . -name '*.o' | wc -l)" $(( (SECONDS - start) / 60 ))
            next=$((next + 60))
        fi
    done
    wait "$pid" || status=$?
    if [ "$status" != 0 ]; then
        tail -n 40 "$log" >&2
        echo "scripts/windows: $what failed (whole log: $log)" >&2
    fi
    return "$status"
}

# without_wintab QTBASE: Debian's qtbase archive leaves out the Wintab headers
# (not free), which only the Windows platform plugin's tablet support uses:
# that plugin is built without it. The rest of the toolkit is untouched.
without_wintab() {
    local plugin=$1/src/plugins/platforms/windows
    sed -i 's/^qtConfig(tabletevent) {/false {/' "$plugin/windows.pri"
    sed -i 's/QT_CONFIG(tabletevent)/0/g' "$plugin"/*.cpp "$plugin"/*.h
}

# build_windows_qt: builds and installs qtbase and qtserialport into
# TAV_WINDOWS_QT unless a complete build is there already. A build that
# stopped half-way is started again from scratch.
build_windows_qt() {
    local prefix=$TAV_WINDOWS_QT work=$TAV_WINDOWS_QT.work start=$SECONDS
    [ -f "$prefix/.complete" ] && return 0
    qt_sources_checked || return
    echo "cross Qt: building Qt $TAV_QT_VERSION for Windows into $prefix, once (about 15 minutes on two cores)"
    rm -rf "$prefix" "$work" && mkdir -p "$work" "$prefix" || return
    tar -xJf "$TAV_QT_SOURCES/$QTBASE_ARCHIVE" -C "$work" &&
        tar -xJf "$TAV_QT_SOURCES/$QTSERIALPORT_ARCHIVE" -C "$work" || return
    local qtbase qtserialport
    qtbase=$(echo "$work"/qtbase-*/) qtserialport=$(echo "$work"/qtserialport-*/)
    [ -d "$qtbase/src/3rdparty/wintab" ] || without_wintab "$qtbase"
    # Only what the panel and tavctl use (Core, Gui, Widgets, then SerialPort):
    # the modules and plugins nobody loads are not built at all.
    local trimmed=(-no-feature-network -no-feature-sql -no-feature-xml -no-feature-testlib
        -no-feature-concurrent -no-feature-printer -no-feature-vulkan)
    (
        cd "$qtbase" &&
            MAKEFLAGS=-j$(nproc) with_progress "qtbase configure" "$work/configure.log" ./configure \
                -xplatform win32-g++ -device-option CROSS_COMPILE=x86_64-w64-mingw32- \
                -prefix "$prefix" -opensource -confirm-license -release -shared \
                -nomake examples -nomake tests -no-opengl -no-dbus -no-icu -qt-zlib \
                -qt-libpng -no-libjpeg -qt-freetype -qt-pcre -no-harfbuzz "${trimmed[@]}" &&
            with_progress "qtbase" "$work/qtbase.log" make -j"$(nproc)" &&
            with_progress "qtbase install" "$work/install.log" make install
    ) || return
    (
        cd "$qtserialport" &&
            perl "$qtbase/bin/syncqt.pl" -version "$TAV_QT_VERSION" -module QtSerialPort \
                -outdir "$qtserialport" "$qtserialport" >"$work/syncqt.log" 2>&1 &&
            with_progress "qtserialport" "$work/qtserialport.log" \
                sh -c "'$prefix/bin/qmake' && make -j$(nproc) && make install"
    ) || return
    rm -rf "$work"
    touch "$prefix/.complete"
    echo "cross Qt: ready in $(( (SECONDS - start) / 60 )) min"
}
