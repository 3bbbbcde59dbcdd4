#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

// The IP-echo service asked once at start-up for the machine's public address.
QUrl publicAddressServiceUrl();

// Lets tests point the request at a server of their own on loopback; an empty URL restores the
// real service.
void setPublicAddressServiceUrl(const QUrl& url);

// The echo service's answer as it is shown: one Latin-1 character per byte up to the first zero
// byte, not trimmed.
QString publicAddressText(const QByteArray& body);
