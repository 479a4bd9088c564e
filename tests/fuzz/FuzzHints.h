#pragma once

#include <QByteArray>
#include <QList>

// What a fuzz entry tells the bounded driver (standalone_driver.cpp): its name, fragments worth
// splicing into inputs, and built-in seeds besides the seed files given on the command line.
// libFuzzer builds don't use it.
struct FuzzHints
{
    const char* name;
    QList<QByteArray> tokens;
    QList<QByteArray> seeds;
};

FuzzHints fuzzHints();
