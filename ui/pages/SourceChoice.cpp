#include "ui/pages/SourceChoice.h"

#include <QFileInfo>

#include "mail/MailSourceRun.h"

namespace sourcechoice {

win::FileChoice DatabasesAndMail() {
  win::FileChoice choice;
  // An mbox is known by its first line, not its name: these are the names
  // mail programs give them; "All files" shows the rest.
  choice.nameFilters = {QStringLiteral("NSF files (*.nsf)"), QStringLiteral("Mail files (*.mbox *.mbx mbox)")};
  choice.acceptsFolder = [](const QString& folder) {
    return QFileInfo(folder).isDir() && mailio::IsMailSource(folder.toStdString());
  };
  return choice;
}

}  // namespace sourcechoice
