#pragma once

#include "describerequest.h"

#include <QString>

#include <optional>

// The whole scanner process after the C++ run-time's start: the exact
// diagnostic output, the application object with the store's identity,
// one scan into the store, the exit code (contract/outcome.h). `storeFile`
// empty: the user's store. The scanner's main() is this; a scan server's
// child runs it in place of exec'ing the scanner, with its store's file.
// `describe` unset: as the environment asks (DescribeRequest::fromEnvironment).
int runScanner(int argc, char *argv[], const QString &storeFile = QString(),
               const std::optional<DescribeRequest> &describe = std::nullopt);
