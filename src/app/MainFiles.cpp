// Message files, logo files and the drop target.
#include "app/Main.h"

void TWin::SetupFiles() {}
void TWin::New1Click() {}
void TWin::Open1Click() {}
void TWin::SaveAs1Click() {}
void TWin::DropFile1DropFile(QObject*, QString, QString, QString) {}
void TWin::OpenMessageOrLogo(const QString&) {}
