#include "support/RealFtpServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <string>

// What the real server serves is proved by the tests that use it; only its
// refusal to start, which no passing test sees, is checked here.

namespace {

using testsupport::RealFtpServer;

TEST(RealFtpServer, NamesThePackageWhenItCannotBeImported) {
    // A package of the same name that fails to import hides the installed one.
    QTemporaryDir shadow;
    ASSERT_TRUE(shadow.isValid());
    ASSERT_TRUE(QDir(shadow.path()).mkdir("pyftpdlib"));
    QFile init(shadow.filePath("pyftpdlib/__init__.py"));
    ASSERT_TRUE(init.open(QIODevice::WriteOnly));
    init.write("raise ImportError('hidden by the test')\n");
    init.close();
    const QByteArray saved = qgetenv("PYTHONPATH");
    const bool hadSaved = qEnvironmentVariableIsSet("PYTHONPATH");
    qputenv("PYTHONPATH", shadow.path().toLocal8Bit());

    RealFtpServer server;
    std::string why;
    const bool started = server.start(&why);

    if (hadSaved)
        qputenv("PYTHONPATH", saved);
    else
        qunsetenv("PYTHONPATH");
    EXPECT_FALSE(started);
    EXPECT_NE(why.find("python3-pyftpdlib"), std::string::npos) << why;
    EXPECT_NE(why.find("hidden by the test"), std::string::npos) << why;
    EXPECT_TRUE(server.root().empty());
}

} // namespace
