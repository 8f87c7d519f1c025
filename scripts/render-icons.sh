#!/usr/bin/env bash
# Renders the program's icon (data/icons/*.svg) to the PNG sizes the program
# carries for its windows (data/icons/png/<size>.png). The window takes these
# instead of reading the SVG: reading an SVG at every start costs the SVG
# reader's code and the maths library's tables, about half a megabyte kept for
# the program's life. Rerun after changing the SVG; Qt's own SVG reader draws
# them, as it would draw the SVG.
#   scripts/render-icons.sh
set -euo pipefail
cd "$(dirname "$0")/.."
SVG=data/icons/example.mirapost.Mirapost.svg
OUT=data/icons/png
SIZES=(16 24 32 48 64 128)

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
cat > "$tmp/render.cpp" <<'EOF'
#include <QGuiApplication>
#include <QImage>
#include <QImageReader>
#include <cstdio>
#include <cstdlib>
// render SVG OUTDIR SIZE...
int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  if (argc < 4) return 2;
  for (int i = 3; i < argc; ++i) {
    const int size = std::atoi(argv[i]);
    QImageReader reader(QString::fromLocal8Bit(argv[1]));
    reader.setScaledSize(QSize(size, size));
    QImage image = reader.read();
    if (image.isNull()) {
      std::fprintf(stderr, "render-icons: %s: %s\n", argv[1], qPrintable(reader.errorString()));
      return 1;
    }
    image = image.convertToFormat(QImage::Format_ARGB32);
    const QString file = QString::fromLocal8Bit(argv[2]) + "/" + QString::number(size) + ".png";
    if (!image.save(file, "PNG", 9)) return 1;
  }
  return 0;
}
EOF
# shellcheck disable=SC2046
g++ -std=c++17 -fPIC -o "$tmp/render" "$tmp/render.cpp" $(pkg-config --cflags --libs Qt6Gui)
mkdir -p "$OUT"
QT_QPA_PLATFORM=offscreen "$tmp/render" "$SVG" "$OUT" "${SIZES[@]}"
echo "render-icons: ${#SIZES[@]} sizes in $OUT"
