#pragma once

#include <QTcpServer>
#include <QTcpSocket>

// Serves one fixed HTTP response to every request on the loopback interface and counts them.
class FeedServer : public QTcpServer
{
public:
    explicit FeedServer(QByteArray body, int status = 200) : m_body(std::move(body)), m_status(status)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    s->readAll();
                    ++requests;
                    s->write("HTTP/1.1 " + QByteArray::number(m_status) +
                             " X\r\nContent-Type: application/xml\r\n"
                             "Connection: close\r\nContent-Length: " +
                             QByteArray::number(m_body.size()) + "\r\n\r\n" + m_body);
                    s->disconnectFromHost();
                });
            }
        });
        listen(QHostAddress::LocalHost);
    }
    QString url() const { return QStringLiteral("http://127.0.0.1:%1/appcast.xml").arg(serverPort()); }

    int requests = 0;

private:
    QByteArray m_body;
    int m_status;
};
