#pragma once

#include <QByteArray>

class settings_t;

// The 13-line text of config.cfg for a settings record, every line ended by CR LF.
QByteArray configText(const settings_t& settings);

// Takes the stored values from the text of config.cfg into the record. Loading is all or nothing:
// a text of any other line count than 13 leaves the record untouched and returns false.
bool applyConfigText(const QByteArray& text, settings_t& settings);
