#!/bin/sh
# Renders, as PNG files in the folder given, on a virtual X display (xvfb-run): the thumbnail list showing
# the samples folder's records in the picture panel's three states; the module's dialog templates in its
# three languages; the folder tree opened on a temporary folder; the window fills; the demo host.
#   scripts/screenshots.sh OUTPUT-FOLDER [BUILD-FOLDER]
set -eu
out=${1:?usage: screenshots.sh OUTPUT-FOLDER [BUILD-FOLDER]}
build=${2:-build}
mkdir -p "$out"
out=$(cd "$out" && pwd)
KIV_SCREENSHOTS="$out" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$build/tests/kivpicture_ui_tests" --gtest_also_run_disabled_tests --gtest_filter='Screenshots.DISABLED_Foundation'
# The demo host: its file panel on the samples folder beside the frame, switched to each language of its
# menu. Like any host it saves the module's settings when it closes: into a folder of its own here, never the
# user's.
config=$(mktemp -d)
trap 'rm -rf "$config"' EXIT
for language in 0 1 2; do
  KIV_CONFIG_DIR="$config" QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1600x1024x24" "$build/kivpic-demo" "$(pwd)/samples/hat.jpg" \
    --language $language --screenshot "$out/demo-language-$language.png"
done
ls "$out"/*.png
