#pragma once

#include <QByteArray>
#include <QString>

class settings_t;

// The answer to one judged message: the bytes for the device, and the body of the reply line in
// the message window.
struct reply_t
{
    QByteArray bytes;
    QString line;
};

// With `dataStored` false an accepted message is not acknowledged: a device told "stored" would not
// send the lost line again.
reply_t replyFor(int verdict, int computed, bool dataStored, const settings_t& settings);
