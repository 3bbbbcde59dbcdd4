#pragma once

#include <QByteArray>
#include <QString>

class settings_t;

// The 13-line text of config.cfg for a settings record, every line ended by CR LF.
QByteArray configText(const settings_t& settings);

// Takes the stored values from the text of config.cfg into the record. Loading is all or nothing:
// a text of any other line count than 13 leaves the record untouched and returns false.
bool applyConfigText(const QByteArray& text, settings_t& settings);

// "config.cfg": every front end keeps its settings in this file in its working directory.
QString configFileName();

// Loads config.cfg from the working directory into the record, as every front end does at start-up:
// a missing or unreadable file, or one of another line count, leaves the record as it was.
void loadConfigFile(settings_t& settings);

// The service's reading of config.cfg: as loadConfigFile(), but a file that exists and cannot be
// read, or has another line count, is not silently replaced by the defaults, and a port or socket
// timeout line that is not a number that fits an int is not read as 0. Returns the sentence
// that names the file and the reason, or an empty text when the record holds what will serve.
QString loadConfigFileStrictly(settings_t& settings);
