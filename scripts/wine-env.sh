#!/usr/bin/env bash
# Source this file: kiv_wine_up ROOT makes a fresh Wine prefix under ROOT
# with a removable drive E: (ROOT/drive-e), a small full-able drive F:
# when tmpfs can be mounted, a write-protected removable drive G: (filled
# through the fixed drive H:) when bind mounts are allowed, a card reader
# I: whose card a test can take out (its folder moved away), a virtual
# desktop on its own Xvfb display, and a persistent wineserver;
# kiv_wine_down stops them again.

export WINE=/usr/lib/wine/wine64
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
export LANG=en_US.UTF-8
# Without that locale Wine cannot name files outside ASCII; C.UTF-8 keeps English.
locale -a 2>/dev/null | grep -qix 'en_US.utf-\?8' || export LANG=C.UTF-8

kiv_wine_reg() { "$WINE" reg add "$@" /f >/dev/null 2>&1; }

kiv_wine_up() {
  local root=$1
  mkdir -p "$root"
  root=$(cd "$root" && pwd)
  export KIV_WINE_ROOT=$root
  export WINEPREFIX=$root/prefix

  # Xvfb on the first free display, unless the caller keeps its own screen.
  unset KIV_XVFB_PID
  if [ "${KIV_KEEP_DISPLAY:-0}" != 1 ] || [ -z "${DISPLAY:-}" ]; then
    local d=90
    while [ -e /tmp/.X11-unix/X$d ] || [ -e /tmp/.X$d-lock ]; do d=$((d + 1)); done
    Xvfb :$d -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    export KIV_XVFB_PID=$!
    export DISPLAY=:$d
    for _ in $(seq 50); do [ -e /tmp/.X11-unix/X$d ] && break; sleep 0.1; done
  fi

  if [ -d "$WINEPREFIX" ]; then
    /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
    rm -rf "$WINEPREFIX"
  fi
  "$WINE" wineboot -i >/dev/null 2>&1 || true
  /usr/lib/wine/wineserver -w

  # Dialogs are fast only on a virtual desktop without a window manager.
  kiv_wine_reg 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default
  kiv_wine_reg 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1280x1024
  kiv_wine_reg 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N
  # Chinese texts in dialogs.
  for f in Tahoma 'MS Shell Dlg' 'MS Shell Dlg 2'; do
    kiv_wine_reg 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
      /v "$f" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei'
  done
  # Caption buttons are drawn with Wine's own Marlett font.
  if [ -d /usr/share/wine/fonts ]; then
    cp -f /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi
  if [ -e /usr/share/fonts/truetype/wqy/wqy-microhei.ttc ]; then
    cp -f /usr/share/fonts/truetype/wqy/wqy-microhei.ttc "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
  fi

  # The removable drive E:.
  mkdir -p "$root/drive-e"
  ln -sfn "$root/drive-e" "$WINEPREFIX/dosdevices/e:"
  kiv_wine_reg 'HKLM\Software\Wine\Drives' /v e: /t REG_SZ /d floppy

  # A 2 MB drive F: for the tests of a full disk (needs mount rights).
  unset KIV_FULL_DRIVE
  mkdir -p "$root/drive-f"
  mountpoint -q "$root/drive-f" && umount "$root/drive-f" 2>/dev/null
  if mount -t tmpfs -o size=2m tmpfs "$root/drive-f" 2>/dev/null; then
    ln -sfn "$root/drive-f" "$WINEPREFIX/dosdevices/f:"
    kiv_wine_reg 'HKLM\Software\Wine\Drives' /v f: /t REG_SZ /d floppy
    export KIV_FULL_DRIVE=F:
  fi

  # A write-protected removable drive G: (a locked card), with H: a fixed
  # drive onto the same folder that the tests fill it through (needs mount
  # rights, as F: does).
  unset KIV_WP_DRIVE KIV_WP_FILL
  mkdir -p "$root/drive-g" "$root/drive-g-fill"
  mountpoint -q "$root/drive-g" && umount "$root/drive-g" 2>/dev/null
  if mount --bind "$root/drive-g-fill" "$root/drive-g" 2>/dev/null; then
    if mount -o remount,ro,bind "$root/drive-g" 2>/dev/null; then
      ln -sfn "$root/drive-g" "$WINEPREFIX/dosdevices/g:"
      ln -sfn "$root/drive-g-fill" "$WINEPREFIX/dosdevices/h:"
      kiv_wine_reg 'HKLM\Software\Wine\Drives' /v g: /t REG_SZ /d floppy
      export KIV_WP_DRIVE=G: KIV_WP_FILL=H:
    else
      umount "$root/drive-g" 2>/dev/null || true
    fi
  fi

  # A card reader I:: the letter stays, its medium is the folder "card",
  # which a test moves away through Z: (KIV_CARD_SLOT) to take the card out.
  rm -rf "$root/drive-i"
  mkdir -p "$root/drive-i/card"
  ln -sfn "$root/drive-i/card" "$WINEPREFIX/dosdevices/i:"
  kiv_wine_reg 'HKLM\Software\Wine\Drives' /v i: /t REG_SZ /d floppy
  export KIV_CARD_DRIVE=I: KIV_CARD_SLOT="Z:${root//\//\\}\\drive-i"

  # Wine reads the drive types when its server starts: restart it, persistent.
  /usr/lib/wine/wineserver -w
  /usr/lib/wine/wineserver -p
  # Start Wine's own services now, away from any test's output pipes: a
  # service started by a test inherits its stdout and CTest would wait on it.
  "$WINE" wineboot >/dev/null 2>&1 </dev/null || true
  "$WINE" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

kiv_wine_down() {
  /usr/lib/wine/wineserver -k >/dev/null 2>&1 || true
  [ -n "${KIV_XVFB_PID:-}" ] && kill "$KIV_XVFB_PID" 2>/dev/null || true
  if [ -n "${KIV_WINE_ROOT:-}" ]; then
    local m
    for m in drive-f drive-g; do
      mountpoint -q "$KIV_WINE_ROOT/$m" && umount "$KIV_WINE_ROOT/$m" 2>/dev/null || true
    done
  fi
}
