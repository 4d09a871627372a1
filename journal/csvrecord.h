#pragma once

#include <QByteArray>
#include <QStringList>

// One line of a CSV file as RFC 4180 has it, in UTF-8 and ending in CR LF: a cell with a
// comma, a double quote or a line break is quoted, its quotes doubled. A cell that begins
// with =, +, -, @, a tab or a carriage return gets a leading apostrophe, so that a spreadsheet
// shows it as text instead of running it as a formula: the texts come from the network.
QByteArray csvRecord(const QStringList &cells);
