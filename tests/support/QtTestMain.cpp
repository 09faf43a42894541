// Test entry point for tests that need a QApplication: Qt's offscreen platform, a private
// runtime folder, and every Qt warning turned into a test failure.
#include <gtest/gtest.h>

#include <QApplication>
#include <QByteArray>

#include <cstdlib>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

namespace {

void failOnQtWarning(QtMsgType type, const QMessageLogContext&, const QString& message) {
  if (type == QtDebugMsg || type == QtInfoMsg) return;
  // The offscreen platform says so when a window (a message box) asks it for something it does
  // not do; that is a limit of the test platform, not a fault of the program.
  if (message == QLatin1String("This plugin does not support propagateSizeHints()")) return;
  ADD_FAILURE() << "Qt message: " << message.toStdString();
}

void prepareEnvironment() {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  if (qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) {
    std::string dir = "/tmp/quorvel-test-runtime-" + std::to_string(getuid());
    mkdir(dir.c_str(), 0700);
    chmod(dir.c_str(), 0700);
    qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(dir));
  }
}

}  // namespace

int main(int argc, char** argv) {
  prepareEnvironment();
  testing::InitGoogleTest(&argc, argv);
  QApplication app(argc, argv);
  qInstallMessageHandler(failOnQtWarning);
  return RUN_ALL_TESTS();
}
