#include <gtest/gtest.h>

#include <cerrno>

#include "platform/syserror.h"

namespace {

TEST(SystemError, TextsInBothLanguages)
{
    const struct {
        int code;
        const char* english;
        const char* chinese;
    } cases[] = {
        {ENOENT, "No such file or directory", "没有那个文件或目录"},
        {EACCES, "Permission denied", "权限不够"},
        {ENOSPC, "No space left on device", "设备上没有空间"},
        {EEXIST, "File exists", "文件已存在"},
        {EISDIR, "Is a directory", "是一个目录"},
        {ENOTDIR, "Not a directory", "不是目录"},
        {EROFS, "Read-only file system", "只读文件系统"},
        {EMFILE, "Too many open files", "打开的文件过多"},
        {ENOEXEC, "Exec format error", "可执行文件格式错误"},
        {E2BIG, "Argument list too long", "参数列表过长"},
        {EINTR, "Interrupted system call", "被中断的系统调用"},
        {ETIMEDOUT, "Connection timed out", "连接超时"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(systemErrorText(c.code, false), QString::fromUtf8(c.english));
        EXPECT_EQ(systemErrorText(c.code, true), QString::fromUtf8(c.chinese));
    }
}

TEST(SystemError, OutsideTheTableFallsBackToEnglishThenToNothing)
{
    const QString english = systemErrorText(EDOM, false);
    EXPECT_EQ(english, QStringLiteral("Numerical argument out of domain"));
    EXPECT_EQ(systemErrorText(EDOM, true), english);
    EXPECT_TRUE(systemErrorText(987654, false).isEmpty());
    EXPECT_TRUE(systemErrorText(987654, true).isEmpty());
}

}  // namespace
