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
