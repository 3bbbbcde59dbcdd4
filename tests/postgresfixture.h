#pragma once

#include <QStringList>
#include <QTemporaryDir>

#include <memory>

struct pg_conn;

// A real PostgreSQL 15 of a test's own: a cluster made in a temporary folder and served on a free
// port of 127.0.0.1, its socket in that folder too. Every user gets in without a password, except
// `guardedUser`, whose password is `guardedPassword`. Run as root, the server runs as nobody, since
// PostgreSQL refuses root.
class PostgresServer
{
public:
    static constexpr const char* guardedUser = "guarded";
    static constexpr const char* guardedPassword = "right";

    enum class Stop { Fast, Immediate };

    // Made and started; ready() tells whether that worked.
    PostgresServer();
    ~PostgresServer();
    // A hot standby streaming from `primary`, made by pg_basebackup and started.
    static std::unique_ptr<PostgresServer> standbyOf(const PostgresServer& primary);

    bool ready() const { return made; }
    quint16 port() const { return listenPort; }
    // The superuser's conninfo over TCP, with `more` keywords appended.
    QString conninfo(const QString& more = {}) const;

    bool start();
    // Immediate is a crash: no checkpoint, clients cut off without a word.
    bool stop(Stop mode);
    bool promote();

    // One statement (or several) as the superuser; each row's fields joined by '|', or the error.
    QStringList query(const QString& sql) const;

private:
    explicit PostgresServer(const PostgresServer* primary);
    bool run(const QString& program, const QStringList& arguments) const;
    QString dataDir() const { return dir.filePath(QStringLiteral("data")); }

    QTemporaryDir dir;
    quint16 listenPort = 0;
    bool made = false;
    bool running = false;
};

// A connection of its own, for holding a transaction open while a sink works.
class SqlSession
{
public:
    explicit SqlSession(const QString& conninfo);
    ~SqlSession();
    SqlSession(const SqlSession&) = delete;
    SqlSession& operator=(const SqlSession&) = delete;

    // Each row's fields joined by '|', or the server's error message.
    QStringList exec(const QString& sql);

private:
    pg_conn* conn;
};
