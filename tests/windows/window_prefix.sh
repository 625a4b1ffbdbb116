# Sourced by the Wine window checks and scripts/demo --windows: makes a fresh Wine prefix fit for
# looking at cardwright.exe without a window manager.
#   prepare_window_prefix WINE REG_FILE
# WINEPREFIX names the prefix (made by wineboot -i before).

prepare_window_prefix() {
    local wine=$1 reg=$2
    "$wine" regedit "Z:${reg//\//\\}" >/dev/null 2>&1
    # Debian's Wine does not find its own fonts (fonts-wine: Tahoma, Marlett for the frames'
    # buttons) where it looks for them; the prefix's font folder is always looked in.
    local fonts=$WINEPREFIX/drive_c/windows/Fonts
    mkdir -p "$fonts"
    for font in /usr/share/wine/fonts/*.ttf; do
        [[ -e $font ]] && ln -sfn "$font" "$fonts/"
    done
    # WenQuanYi Zen Hei, which the registry links behind the dialog fonts, among them too.
    for font in /usr/share/fonts/truetype/wqy/wqy-zenhei.ttc; do
        [[ -e $font ]] && ln -sfn "$font" "$fonts/"
    done
}

# Makes the card of a device root known to the prefix as its driver would on Windows: each
# COMn of the root behind the prefix's comn, and its Ports and Modem devices registered with the
# driver's friendly names (register_card.exe, from the Windows build's tests).
#   register_root_card WINE REGISTER_CARD_EXE ROOT
register_root_card() {
    local wine=$1 register=$2 root=$3 link entry
    for link in "$root"/com/COM*; do
        ln -sfn "$link" "$WINEPREFIX/dosdevices/$(basename "$link" | tr 'A-Z' 'a-z')"
    done
    local registration=()
    for entry in "$root"/devices/ports/*/FriendlyName; do
        registration+=(port "$(cat "$entry")")
    done
    local modem_key="$root/registry/HKLM/System/CurrentControlSet/Control/Class"
    modem_key+="/{4D36E96D-E325-11CE-BFC1-08002BE10318}/0000"
    registration+=(modem "$(cat "$root"/devices/modem/0/FriendlyName)" "$(cat "$modem_key/AttachedTo")")
    "$wine" "$register" "${registration[@]}"
}
