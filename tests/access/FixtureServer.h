#pragma once
// Starts tests/access/http_fixture.py on 127.0.0.1 for one test and stops it afterwards.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStringList>
#include <QTemporaryDir>
#include <QThread>

#include <cstdint>
#include <string>

namespace zadari::testing {

inline QString FixtureScript() {
    return QStringLiteral(ZADARI_SOURCE_DIR "/tests/access/http_fixture.py");
}

class TFixtureServer {
public:
    /// `arguments` are added to the script's (--answer 302, --sys-ver 84.2.0.121, ...).
    explicit TFixtureServer(const QStringList& arguments = {}) {
        QStringList all{FixtureScript(), QStringLiteral("--record-dir"), records_.path()};
        all += arguments;
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start(QStringLiteral("python3"), all);
        if (!process_.waitForStarted(5000))
            return;
        QByteArray line;
        while (!line.contains('\n') && process_.waitForReadyRead(5000))
            line += process_.readAllStandardOutput();
        if (line.startsWith("PORT "))
            port_ = static_cast<std::uint16_t>(line.mid(5).trimmed().toUInt());
    }
    ~TFixtureServer() {
        process_.kill();
        process_.waitForFinished(3000);
    }
    TFixtureServer(const TFixtureServer&) = delete;
    TFixtureServer& operator=(const TFixtureServer&) = delete;

    bool Running() const { return port_ != 0; }
    std::uint16_t Port() const { return port_; }
    std::string BaseUrl() const { return "http://127.0.0.1:" + std::to_string(port_); }

    int RequestCount() const {
        return static_cast<int>(
            QDir(records_.path()).entryList({QStringLiteral("request-*.bin")}, QDir::Files).size());
    }
    QString RequestPath(int k) const {
        return records_.path() + QStringLiteral("/request-%1.bin").arg(k);
    }
    /// The k-th request (from 1) as it arrived, waiting a little for the server to store it.
    QByteArray Request(int k) const {
        for (int i = 0; i < 100 && !QFile::exists(RequestPath(k)); ++i)
            QThread::msleep(20);
        QFile file(RequestPath(k));
        if (!file.open(QIODevice::ReadOnly))
            return {};
        return file.readAll();
    }

private:
    QTemporaryDir records_;
    QProcess process_;
    std::uint16_t port_ = 0;
};

/// The part of a stored POST request as Python's email package reads it (JSON text).
inline QByteArray ParseStoredMultipart(const QString& requestPath) {
    QProcess parser;
    parser.start(QStringLiteral("python3"),
                 {FixtureScript(), QStringLiteral("parse"), requestPath});
    parser.waitForFinished(20000);
    return parser.readAllStandardOutput();
}

} // namespace zadari::testing
