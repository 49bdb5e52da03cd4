#include "platform/syserror.h"

#include <cerrno>
#include <cstring>

namespace {

struct ErrorText {
    int code;
    const char* english;
    const char* chinese;  // UTF-8
};

const ErrorText kErrorTexts[] = {
    {EPERM, "Operation not permitted", "不允许的操作"},
    {ENOENT, "No such file or directory", "没有那个文件或目录"},
    {ESRCH, "No such process", "没有那个进程"},
    {EINTR, "Interrupted system call", "被中断的系统调用"},
    {EIO, "Input/output error", "输入/输出错误"},
    {E2BIG, "Argument list too long", "参数列表过长"},
    {ENOEXEC, "Exec format error", "可执行文件格式错误"},
    {EBADF, "Bad file descriptor", "错误的文件描述符"},
    {ECHILD, "No child processes", "没有子进程"},
    {EAGAIN, "Resource temporarily unavailable", "资源暂时不可用"},
    {ENOMEM, "Cannot allocate memory", "无法分配内存"},
    {EACCES, "Permission denied", "权限不够"},
    {EBUSY, "Device or resource busy", "设备或资源忙"},
    {EEXIST, "File exists", "文件已存在"},
    {EXDEV, "Invalid cross-device link", "无效的跨设备链接"},
    {ENOTDIR, "Not a directory", "不是目录"},
    {EISDIR, "Is a directory", "是一个目录"},
    {EINVAL, "Invalid argument", "无效的参数"},
    {ENFILE, "Too many open files in system", "系统中打开的文件过多"},
    {EMFILE, "Too many open files", "打开的文件过多"},
    {ETXTBSY, "Text file busy", "文本文件忙"},
    {EFBIG, "File too large", "文件过大"},
    {ENOSPC, "No space left on device", "设备上没有空间"},
    {EROFS, "Read-only file system", "只读文件系统"},
    {EMLINK, "Too many links", "过多的链接"},
    {EPIPE, "Broken pipe", "断开的管道"},
    {ENXIO, "No such device or address", "没有那个设备或地址"},
    {ENAMETOOLONG, "File name too long", "文件名过长"},
    {ELOOP, "Too many levels of symbolic links", "符号链接的层数过多"},
    {ETIMEDOUT, "Connection timed out", "连接超时"},
    {EDQUOT, "Disk quota exceeded", "超出磁盘限额"},
};

// strerror is not thread-safe; glibc's strerror_r returns the text, the POSIX one fills the buffer.
[[maybe_unused]] const char* errorResult(const char* text, const char*) { return text; }
[[maybe_unused]] const char* errorResult(int rc, const char* buffer) { return rc == 0 ? buffer : nullptr; }

QString libraryText(int code)
{
    char buffer[256] = {};
    const char* text = errorResult(strerror_r(code, buffer, sizeof buffer), buffer);
    if (!text || !*text || std::strncmp(text, "Unknown error", 13) == 0)
        return {};
    return QString::fromLocal8Bit(text);
}

}  // namespace

QString systemErrorText(int errnoValue, bool chinese)
{
    for (const ErrorText& entry : kErrorTexts) {
        if (entry.code != errnoValue)
            continue;
        return chinese ? QString::fromUtf8(entry.chinese) : QString::fromLatin1(entry.english);
    }
    return libraryText(errnoValue);
}
