#ifndef FUZZCHECK_H
#define FUZZCHECK_H

#include <QByteArray>
#include <QList>

#include <cstdio>
#include <cstdlib>

// What every fuzz target needs: a check that stops the run with a crash
// libFuzzer keeps as an artifact, and a strict CSV reader as the oracle for
// the lines the log files hold.

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "check failed: %s (%s:%d)\n", #condition, __FILE__, __LINE__);    \
            std::abort();                                                                          \
        }                                                                                          \
    } while (0)

namespace fuzzcheck
{

// Splits one CSV record (RFC 4180, without its line end) into its unquoted
// fields. False when a spreadsheet could read it differently: a quote inside
// an unquoted field, text after a closing quote, an unterminated quote, or a
// CR or LF outside quotes, which would end the record early.
inline bool splitCsvRecord(const QByteArray &line, QList<QByteArray> &fields)
{
    fields.clear();
    int i = 0;
    const int n = line.size();
    for (;;) {
        QByteArray field;
        if (i < n && line[i] == '"') {
            for (++i;; ++i) {
                if (i >= n)
                    return false;
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        ++i;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i];
            }
            if (i < n && line[i] != ',')
                return false;
        } else {
            for (; i < n && line[i] != ','; ++i) {
                if (line[i] == '"' || line[i] == '\r' || line[i] == '\n')
                    return false;
                field += line[i];
            }
        }
        fields.append(field);
        if (i >= n)
            return true;
        ++i;
    }
}

} // namespace fuzzcheck

#endif
