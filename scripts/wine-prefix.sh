#!/usr/bin/env bash
# Creates a Wine prefix set up as a Japanese Windows: usage wine-prefix.sh DIR
# [win64|win32]. A 64-bit prefix (the default) runs both builds; a 32-bit one
# is a 32-bit Windows.
set -euo pipefail
source "$(dirname "$0")/env.sh"
export WINEPREFIX=$1 WINEARCH=${2:-win64}
if [ -f "$WINEPREFIX/system.reg" ]; then exit 0; fi
mkdir -p "$WINEPREFIX"
wineboot -i >/dev/null 2>&1
wineserver -w
# Title-bar buttons are drawn with Marlett (Debian's fonts-wine), which this
# Wine looks for in the prefix's font folder only.
cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
# Dialogs name the font "ＭＳ Ｐゴシック"; map it to the proportional IPA Gothic.
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'ＭＳ Ｐゴシック' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /t REG_SZ /d IPAPGothic /f >/dev/null 2>&1
# Wine draws the window frames itself: with no window manager (Xvfb) it would
# otherwise wait two seconds for one whenever a window closes.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1
wineserver -w
