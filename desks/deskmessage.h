#pragma once

#include <QString>
#include <QStringList>

// One message of the desk protocol, version 1: a Stars event that a desk sends to tell its peer
// desks what happened here, and that it reads from theirs.
//   _AlarmAcknowledged SENDER EVENT OPERATOR   the operator (user@host) acknowledged SENDER's EVENT
//   _SoundLost REASON                          the desk's sound output is lost
//   _SoundBack                                 its sound output is back
struct DeskMessage
{
    enum class Kind { None, Acknowledged, SoundLost, SoundBack };
    // A peer's operator or reason is shown at most this long.
    static constexpr int MaxShownChars = 64;

    Kind kind = Kind::None;
    QString sender;
    QString event;
    QString who;
    QString reason;
    // Why a received message cannot be taken; empty when it can.
    QString problem;

    static DeskMessage acknowledged(const QString &sender, const QString &event, const QString &who);
    static DeskMessage soundLost(const QString &reason);
    static DeskMessage soundBack();
    // The message that an event's word and items hold, of kind None for a word that is no
    // desk's. Items from the network are held to what can be shown: the operator and the
    // reason without control characters and cut to MaxShownChars.
    static DeskMessage read(const QString &word, const QStringList &items);

    // The event as Stars::sendEvent takes it, items quoted where they hold blanks.
    QString eventText() const;
};
