#pragma once
// The one error type of the program: a number, a source and a description that carries the
// system's own error text, captured at the moment of the failure.
#include <QString>
#include <exception>

struct AppError : std::exception {
    AppError(int number, QString source, QString description)
        : Number(number), Source(std::move(source)), Description(std::move(description)) {}
    const char *what() const noexcept override { return "AppError"; }
    int Number;
    QString Source;
    QString Description;
    int SystemError = 0; // the system's number behind it, where there is one
};
