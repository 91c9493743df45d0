// Starts a test server script on the system Python and reads the port it
// prints ("PORT <n>") once it listens; 0 (after a test failure) when it
// does not start.
#pragma once

#include <QProcess>
#include <QStringList>
#include <gtest/gtest.h>

namespace lmtest {

inline int StartPortPrintingServer(QProcess& process, const QStringList& arguments) {
  process.setProgram(QStringLiteral("/usr/bin/python3"));
  process.setArguments(arguments);
  process.setProcessChannelMode(QProcess::SeparateChannels);
  process.start();
  if (!process.waitForStarted(10000)) {
    ADD_FAILURE() << "cannot start /usr/bin/python3";
    return 0;
  }
  QByteArray out;
  while (!out.contains('\n') && process.waitForReadyRead(15000)) out += process.readAllStandardOutput();
  if (!out.startsWith("PORT ")) {
    ADD_FAILURE() << "test server " << arguments.value(0).toStdString() << " did not start: " << out.constData()
                  << process.readAllStandardError().constData();
    return 0;
  }
  return out.mid(5).trimmed().toInt();
}

}  // namespace lmtest
