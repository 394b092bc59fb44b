# Sourced by scripts/run and scripts/screenshots: keeps the menu and desktop entries of a
# trial installation in folders of its own, out of the person's menus and desktop.

# korvane_keep_entries_in DIR: XDG_DATA_HOME and XDG_CONFIG_HOME become DIR/data and
# DIR/config, and the desktop folder (the XDG_DESKTOP_DIR of user-dirs.dirs) DIR/desktop.
korvane_keep_entries_in() {
    local dir="$1"
    export XDG_DATA_HOME="$dir/data" XDG_CONFIG_HOME="$dir/config"
    mkdir -p "$XDG_CONFIG_HOME"
    # A shell-quoted value, as xdg-user-dirs writes it.
    printf 'XDG_DESKTOP_DIR="%s"\n' "$(printf '%s' "$dir/desktop" | sed 's/[\\"$`]/\\&/g')" \
        >"$XDG_CONFIG_HOME/user-dirs.dirs"
    echo "Menu entries: $XDG_DATA_HOME/applications/wine and $XDG_CONFIG_HOME/menus"
    echo "Desktop entries: $dir/desktop"
}
