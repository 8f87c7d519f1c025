#include "cli/Markup.h"

#include <QList>

namespace mp::cli {

namespace {

std::u32string Ucs4(const QString& text) {
  const QList<uint> cps = text.toUcs4();
  return std::u32string(cps.begin(), cps.end());
}

}  // namespace

MarkupResult ParseBlinkMarkup(const QString& text) {
  static const QString kOpen = QStringLiteral("{blink}");
  static const QString kClose = QStringLiteral("{/blink}");
  MarkupResult result;
  QString run;
  bool blinking = false;
  qsizetype openedAt = -1;
  auto flush = [&] {
    if (!run.isEmpty()) result.runs.push_back({Ucs4(run), blinking});
    run.clear();
  };
  for (qsizetype i = 0; i < text.size();) {
    if (text[i] != u'{') {
      run += text[i++];
      continue;
    }
    const QString at = "at character " + QString::number(i + 1);
    if (text.mid(i, 2) == "{{") {
      run += u'{';
      i += 2;
    } else if (text.mid(i, kOpen.size()) == kOpen) {
      if (blinking) {
        result.error = ("markup: {blink} " + at + " inside a blinking part").toStdString();
        return result;
      }
      flush();
      blinking = true;
      openedAt = i;
      i += kOpen.size();
    } else if (text.mid(i, kClose.size()) == kClose) {
      if (!blinking) {
        result.error = ("markup: {/blink} " + at + " ends no blinking part").toStdString();
        return result;
      }
      flush();
      blinking = false;
      i += kClose.size();
    } else {
      result.error = ("markup: unknown \"" + text.mid(i, 8) + "\" " + at +
                      " (use {blink}, {/blink}, or {{ for a brace)")
                         .toStdString();
      return result;
    }
  }
  if (blinking) {
    result.error = ("markup left open: {blink} at character " + QString::number(openedAt + 1) +
                    " has no {/blink}")
                       .toStdString();
    return result;
  }
  flush();
  return result;
}

std::vector<MarkedRun> PlainRuns(const QString& text) {
  if (text.isEmpty()) return {};
  return {MarkedRun{Ucs4(text), false}};
}

}  // namespace mp::cli
