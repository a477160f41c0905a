// Diagnostic log ("LxxLog.log") and send-data dump ("LxxSendData.bin").
//
// Both files live in the CUPS log directory, /var/log/cups/ unless the
// environment variable ZORVAN_LOG_DIR names another one; when the CUPS log
// directory cannot be written (cupsd runs filters as a user that may not),
// they go to the job's temporary directory ($TMPDIR) and a "DEBUG:" line says
// so. They are opened lazily on first use and truncated at that moment, but
// never through a symbolic link, never when the file has a second hard link or
// another owner, and never while another job is writing them: a job that
// finds them locked writes its own pair beside them, with its job id in the
// names ("LxxLog-<job>.log"). Readable by owner and group only (the dump holds
// every printed label). A file that cannot be opened disables its channel.
#ifndef ZV_FILTER_CORE_DEBUG_LOG_H
#define ZV_FILTER_CORE_DEBUG_LOG_H

#include <cstdint>
#include <cstdio>
#include <string>

extern FILE *pLogFile;
extern FILE *pHexFile;

// printf-style log line with a "YYYY-MM-DD hh:mm:ss " prefix and "\r\n" end.
// Returns the length of the formatted message, or -1 when the log is unavailable.
int writeLogString(const char *format, ...) __attribute__((format(printf, 1, 2)));

FILE *InitLogData();
FILE *InitHexData();

// Appends `count` raw bytes to the dump; ignores a null pointer.
void writeDebugData(const uint8_t *bytes, uint64_t count);
void pwriteHex(const uint8_t *bytes, uint64_t count);

// Closes whichever of the two files is open.
void closeDebugLog();

// Directory the two files go to, with a trailing slash.
std::string debugLogDirectory();

// The job id that names this job's own pair of files when another job holds
// the shared ones (the process id when it is 0).
void setDebugLogJobId(int32_t jobId);

#endif
