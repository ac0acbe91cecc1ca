#pragma once

#include "describerequest.h"

#include <QString>
#include <QStringList>

// One scanner run after process start-up: empties the store, scans the
// path in arguments[1] (if there is one) into it and writes the lines on
// standard error; returns the exit code (contract/outcome.h). The same
// for the scanner started by a host, with the user's store file, and for
// a scan forked by a scan server, with a store file of its own. Asked to
// describe, it also leaves the file's description (scanner/describerequest.h);
// a file of another format than VST 2 then leaves the store alone.
int scanIntoStore(const QStringList &arguments, const QString &storeFile,
                  const DescribeRequest &describe = DescribeRequest());
