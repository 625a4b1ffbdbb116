# Sourced by window_checks: runs one script in the Windows window (cardwright.exe under Wine) and
# in the Linux window (the default build's cardwright), each against a fresh simulated card of the
# same profile in a configuration folder of its own, and compares what the two left behind. Uses
# run_wine_tests' $work, $wine, $cardsim and $profile, and window_checks' $window_folder,
# $pictures and $examples.
#
# A script is a template: @FOLDER@ stands for the window's configuration folder, @PICTURES@ for
# the folder of the pictures and @WINDOW@ for "windows" or "linux", each in the window's own
# form of a path. $ini_from, when set, names the folder the INI files are taken from (else the
# examples), $state_from a window-state.ini to start with; $wine_locale the locale the Windows window runs under (Wine takes its ANSI code page
# from it).

# The Windows path of a file of this machine (Wine's drive Z: is the root).
windows_path() {
    local path=$1
    echo "Z:${path//\//\\}"
}

# One X server for every window of the run, the Linux one's too.
start_display() {
    mkfifo "$work/xvfb.out"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/xvfb.out" >/dev/null 2>&1 &
    extra_pids+=($!)
    read -r -t 20 display <"$work/xvfb.out" || return 1
    export DISPLAY=:$display
}

# A fresh card of the profile for one run: its own device root and state file. Sets card_root.
fresh_card() {  # fresh_card NAME
    local out=$work/$1.cardsim
    mkfifo "$out.fifo"
    "$cardsim" --profile "$profile" --root "$work/$1.root" --state "$work/$1.nv" >"$out.fifo" 2>&1 &
    extra_pids+=($!)
    exec 8<"$out.fifo"
    local line
    card_root=
    while read -r -t 20 -u 8 line; do
        [[ $line == *"export CARVEX_ROOT="* ]] && card_root=${line#*=} && break
    done
    cat <&8 >"$out" &
    extra_pids+=($!)
    exec 8<&-
    [[ -n $card_root ]]
}

# The Windows window runs against the card of `card_root`: the prefix's COM ports lead there.
# The card's driver names are those of the profile, registered once for the run.
point_ports_at() {
    local link
    for link in "$1"/com/COM*; do
        ln -sfn "$link" "$WINEPREFIX/dosdevices/$(basename "$link" | tr 'A-Z' 'a-z')"
    done
}

# A configuration folder holding the two INI files, and $state_from as its window-state.ini when
# that is set.
config_folder() {  # config_folder PATH
    mkdir -p "$1"
    cp "${ini_from:-$examples}"/Config_Info.ini "${ini_from:-$examples}"/config_value.ini "$1/"
    if [[ -n ${state_from:-} ]]; then
        cp "$state_from" "$1/window-state.ini"
    fi
}

# The script template filled in for one window.
fill_script() {  # fill_script TEMPLATE FOLDER PICTURES WINDOW >SCRIPT
    local folder=$2 pictures=$3
    folder=${folder//\\/\\\\} pictures=${pictures//\\/\\\\}
    sed -e "s|@FOLDER@|${folder//|/\\|}|g" -e "s|@PICTURES@|${pictures//|/\\|}|g" \
        -e "s|@WINDOW@|$4|g" "$1"
}

# Runs TEMPLATE in the Windows window against a fresh card, in the configuration folder
# $work/NAME.windows; its output in $work/NAME.windows.log.
windows_window() {  # windows_window NAME TEMPLATE
    local folder=$work/$1.windows
    fresh_card "$1.windows" || return 1
    point_ports_at "$card_root"
    config_folder "$folder"
    fill_script "$2" "$(windows_path "$folder")" "$(windows_path "$pictures")" windows \
        >"$work/$1.windows.script"
    (cd "$window_folder" && timeout 300 env ${wine_locale:+LC_ALL=$wine_locale} "$wine" \
        cardwright.exe --config-dir "$(windows_path "$folder")" \
        --script "$(windows_path "$work/$1.windows.script")") >"$work/$1.windows.raw" 2>&1
    local status=$?
    tr -d '\r' <"$work/$1.windows.raw" >"$work/$1.windows.log"
    sed 's/^/    windows: /' "$work/$1.windows.log"
    echo "$status" >"$work/$1.windows.status"
    return $status
}

# The same in the Linux window, in $work/NAME.linux.
linux_window() {  # linux_window NAME TEMPLATE
    local folder=$work/$1.linux
    fresh_card "$1.linux" || return 1
    config_folder "$folder"
    fill_script "$2" "$folder" "$pictures" linux >"$work/$1.linux.script"
    # Windows has no ModemManager: the Linux window leaves it alone too, so that neither log
    # holds a line about it.
    mkdir -p "$work/carvex-config"
    echo "modemmanager = leave" >"$work/carvex-config/carvex.conf"
    timeout 300 env CARVEX_ROOT="$card_root" CARVEX_CONFIG="$work/carvex-config" \
        QT_QPA_PLATFORM=xcb "$linux_cardwright" \
        --config-dir "$folder" --script "$work/$1.linux.script" >"$work/$1.linux.log" 2>&1
    local status=$?
    sed 's/^/    linux: /' "$work/$1.linux.log"
    echo "$status" >"$work/$1.linux.status"
    return $status
}

# The log's lines without the time stamp before their two blanks.
log_messages() {
    tr -d '\r' <"$1" | awk '{ at = index($0, "  "); print (at ? substr($0, at + 2) : $0) }'
}

same_log() {  # same_log NAME
    if ! diff <(log_messages "$work/$1.linux/ConfigLog.txt") \
        <(log_messages "$work/$1.windows/ConfigLog.txt") >"$work/$1.logdiff"; then
        sed 's/^/    /' "$work/$1.logdiff"
        return 1
    fi
}

# The card's NV items as its backup keeps them.
same_card() {  # same_card NAME
    [[ -s $work/$1.windows.nv ]] && cmp "$work/$1.linux.nv" "$work/$1.windows.nv"
}

# A file both windows wrote into their configuration folders, the same but for line ends.
same_file() {  # same_file NAME FILE
    local linux=$work/$1.linux/$2 windows=$work/$1.windows/$2
    [[ -s $windows ]] && cmp <(tr -d '\r' <"$linux") <(tr -d '\r' <"$windows")
}

same_status() {  # same_status NAME
    [[ -s $work/$1.windows.status ]] && cmp -s "$work/$1.linux.status" "$work/$1.windows.status"
}

both_windows() {  # both_windows NAME TEMPLATE: runs the script in each window
    check "$1: the Windows window carries out the script" windows_window "$1" "$2"
    check "$1: the Linux window carries out the script" linux_window "$1" "$2"
}
