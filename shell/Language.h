#pragma once

#include <QString>

// The language of every text the program shows or writes, chosen once at start-up and given to
// each object that words something for the operator.
class Language {
public:
    constexpr Language() = default;
    static constexpr Language Japanese() { return Language(false); }
    static constexpr Language English() { return Language(true); }
    // 0 Japanese, 1 English, as the program state keeps it.
    static constexpr Language FromCode(int code) { return Language(code == 1); }

    constexpr bool IsEnglish() const { return english_; }
    constexpr int Code() const { return english_ ? 1 : 0; }
    // The text of this language.
    QString JaEn(const QString& japanese, const QString& english) const {
        return english_ ? english : japanese;
    }
    constexpr bool operator==(const Language&) const = default;

private:
    constexpr explicit Language(bool english) : english_(english) {}
    bool english_ = false;
};
