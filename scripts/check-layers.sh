#!/usr/bin/env bash
# Fails when a file of the headless logic includes a Qt Gui or Qt Widgets
# header (only src/app/, the dialogs (*_dialog.*) and widget glue (*_widgets.*)
# may; everything else under src/ builds into the core library, which links Qt
# Core and Qt Network only), and when a file includes an area above its own.
# Usage: scripts/check-layers.sh [repository root]
set -euo pipefail

root=${1:-"$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"}
qt_include=${QT_INCLUDE_DIR:-/usr/include/x86_64-linux-gnu/qt6}

# Qt modules above the line; any header of theirs is forbidden below it.
gui_modules=(QtGui QtWidgets QtOpenGL QtOpenGLWidgets QtPrintSupport QtSvg QtSvgWidgets)

# Header names of those modules, from the installed Qt when present ("QWidget",
# "qwidget.h", ...). The fixed list stands in on a machine without Qt headers.
gui_headers=("${gui_modules[@]}")
found_installed=false
for module in "${gui_modules[@]}"; do
    if [[ -d "$qt_include/$module" ]]; then
        found_installed=true
        for header in "$qt_include/$module"/*; do
            gui_headers+=("${header##*/}")
        done
    fi
done
if ! $found_installed; then
    gui_headers+=(
        QAbstractButton QAction QActionGroup QApplication QBrush QButtonGroup QCheckBox
        QClipboard QColor QComboBox QCursor QDesktopServices QDialog QDialogButtonBox
        QDoubleValidator QDrag QFileDialog QFileIconProvider QFont QFontDatabase QFontDialog
        QFontMetrics QFormLayout QFrame QGridLayout QGroupBox QGuiApplication QHBoxLayout
        QHeaderView QIcon QImage QInputDialog QIntValidator QKeyEvent QKeySequence QLabel
        QLayout QLineEdit QListView QListWidget QMainWindow QMenu QMenuBar QMessageBox
        QMouseEvent QMovie QPainter QPalette QPen QPixmap QPlainTextEdit QProgressBar
        QProgressDialog QPushButton QRadioButton QRegularExpressionValidator QScreen
        QShortcut QSpinBox QSplitter QStandardItem QStandardItemModel QStatusBar QStyle
        QSystemTrayIcon QTabWidget QTableView QTableWidget QTextBrowser QTextDocument QTextEdit
        QToolBar QToolButton QTreeView QTreeWidget QVBoxLayout QValidator QWidget QWindow
    )
fi

# shellcheck disable=SC2016 # the awk program is literal
offenders=$(
    cd "$root"
    find src -type f \( -name '*.h' -o -name '*.hpp' -o -name '*.cpp' -o -name '*.cc' \) \
        -not -path 'src/app/*' -not -name '*_dialog.*' -not -name '*_widgets.*' -print0 |
        sort -z |
        xargs -0 -r awk -v modules="${gui_modules[*]}" -v headers="${gui_headers[*]}" '
            BEGIN {
                n = split(modules, list, " ")
                for (i = 1; i <= n; i++) module[list[i]] = 1
                n = split(headers, list, " ")
                for (i = 1; i <= n; i++) {
                    header[list[i]] = 1
                    header[tolower(list[i]) ".h"] = 1
                }
            }
            /^[ \t]*#[ \t]*include[ \t]*[<"]/ {
                name = $0
                sub(/^[^<"]*[<"]/, "", name)
                sub(/[>"].*$/, "", name)
                first = name
                sub(/\/.*$/, "", first)
                if ((name ~ /\// && first in module) || (name !~ /\// && name in header))
                    printf "%s:%d: %s\n", FILENAME, FNR, $0
            }'
)

failed=false
if [[ -n "$offenders" ]]; then
    echo "check-layers: Qt Gui/Widgets headers outside src/app and the *_dialog and *_widgets files:" >&2
    echo "$offenders" >&2
    failed=true
fi

# The floors, lowest first; an area may include its own floor and those below.
floors=(text net ftp remote prefs sites local compare transfer session app)
declare -A floor_of=()
for i in "${!floors[@]}"; do
    floor_of[${floors[$i]}]=$i
done

upward=$(
    cd "$root"
    find src -mindepth 2 -type f \( -name '*.h' -o -name '*.cpp' \) -print0 | sort -z |
        while IFS= read -r -d '' file; do
            area=${file#src/}
            area=${area%%/*}
            own=${floor_of[$area]:-}
            if [[ -z $own ]]; then
                echo "$file: area '$area' has no floor in check-layers.sh"
                continue
            fi
            { grep -n -E '^[[:space:]]*#[[:space:]]*include[[:space:]]*"[a-z]+/' "$file" || true; } |
                while IFS= read -r hit; do
                    included=${hit#*\"}
                    included=${included%%/*}
                    theirs=${floor_of[$included]:-}
                    if [[ -z $theirs || $theirs -gt $own ]]; then
                        echo "$file:${hit%%:*}: $area includes $included"
                    fi
                done
        done
)
if [[ -n "$upward" ]]; then
    echo "check-layers: includes that run up a floor (${floors[*]}, lowest first):" >&2
    echo "$upward" >&2
    failed=true
fi

if $failed; then
    exit 1
fi
echo "check-layers: ok"
