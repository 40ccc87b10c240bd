#include "platform/linux/QtPrograms.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>

#include "platform/linux/QtText.h"

namespace platform {

bool QtPrograms::isOrdinaryFile(std::string_view path) {
  const QFileInfo file(ToQString(path));
  return file.isFile() && !file.fileName().startsWith(u'.');
}

bool QtPrograms::start(std::string_view path) {
  return QProcess::startDetached(ToQString(path), {});
}

std::string QtPrograms::ownFolder() {
  return QCoreApplication::applicationDirPath().toStdString();
}

}  // namespace platform
