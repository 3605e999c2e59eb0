// The Base64 codec and the password file KIV.pwd.
#include "framework/Afx.h"
#include "password/Base64.h"
#include "password/KivPwd.h"
#include "tests/support/TempDir.h"
#include "tests/support/win/FullDrive.h"
#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>

namespace {

std::string Decoded(const char* text) {
    CBase64 codec;
    codec.DecodeString(text);
    if (!codec.GetBinary()) return std::string();
    return std::string((const char*)codec.GetBinary(), codec.GetDecodedLength());
}

std::string Encoded(const std::string& bytes) {
    CBase64 codec;
    codec.Encode((const BYTE*)bytes.data(), (UINT)bytes.size());
    return codec.GetText() ? std::string(codec.GetText()) : std::string();
}

DWORD Attributes(const CString& path) { return GetFileAttributesW(path); }

}  // namespace

TEST(Base64Test, EncodesWithPadding) {
    struct { std::string in; const char* out; } cases[] = {
        {"A", "QQ=="}, {"AB", "QUI="}, {"ABC", "QUJD"}, {"ABCD", "QUJDRA=="},
        {std::string("\0\xFF\x10", 3), "AP8Q"}, {"abc123", "YWJjMTIz"},
    };
    for (auto& c : cases) EXPECT_EQ(Encoded(c.in), c.out) << c.out;

    CBase64 empty;
    empty.Encode((const BYTE*)"", 0);
    EXPECT_EQ(empty.GetText(), nullptr);
}

TEST(Base64Test, DecodesGroupsSkipsBlanksAndToleratesForeignCharacters) {
    using std::string;
    struct { const char* in; string out; } cases[] = {
        {"QUJD", "ABC"},
        {" Q U\r\nJ\tD\n", "ABC"},               // blanks and controls skipped
        {"QQ==", string("A\0\0", 3)},           // padded group still adds 3
        {"QUI=", string("AB\0", 3)},
        {"QUI", string("AB\0", 3)},             // short group: its 3 characters
        {"QQ", string("A\0", 2)},
        {"QUJDRA", string("ABCD\0", 5)},
        {"\xD1UJD", "ABC"},                      // top bit ignored ('Q' | 0x80)
    };
    for (auto& c : cases) EXPECT_EQ(Decoded(c.in), c.out) << c.in;

    // Not rejected: a foreign character reads as '+', a leading '=' as '/'.
    EXPECT_EQ(Decoded("QU*D"), Decoded("QU+D"));
    EXPECT_EQ(Decoded("=A=="), Decoded("/A=="));

    // As a C string a padded group is its one byte.
    CBase64 codec;
    codec.DecodeString("QQ==");
    EXPECT_STREQ((const char*)codec.GetBinary(), "A");

    CBase64 empty;
    empty.DecodeString("");
    EXPECT_EQ(empty.GetBinary(), nullptr);
    EXPECT_EQ(empty.GetDecodedLength(), 0u);
    empty.DecodeString(nullptr);
    EXPECT_EQ(empty.GetBinary(), nullptr);
}

TEST(Base64Test, RoundTripsAndGrowsInWholeSteps) {
    struct Probe : CBase64 {
        UINT TextCap() const { return m_nTextCap; }
    };
    for (size_t n = 0; n < 5000; n += (n < 40 ? 1 : 997)) {
        std::string bytes = MakeRandom(n, (unsigned)n + 1);
        std::string text = Encoded(bytes);
        EXPECT_EQ(text.size(), (n + 2) / 3 * 4);
        std::string back = Decoded(text.c_str());
        // Padding adds zero bytes to the decoded length.
        ASSERT_GE(back.size(), n);
        EXPECT_EQ(back.substr(0, n), bytes) << n;
        EXPECT_EQ(back.find_first_not_of('\0', n), std::string::npos);
    }
    Probe p;
    p.ReserveText(0);
    EXPECT_EQ(p.TextCap(), 0u);
    p.ReserveText(1);
    EXPECT_EQ(p.TextCap(), 4096u);
    p.ReserveText(4096);  // fits exactly: kept
    EXPECT_EQ(p.TextCap(), 4096u);
    p.ReserveText(4097);
    EXPECT_EQ(p.TextCap(), 8192u);
    Probe q;
    q.ReserveText(4096);  // a new buffer is always larger than asked
    EXPECT_EQ(q.TextCap(), 8192u);
}

TEST(Base64Test, ASecondTableBuildLeavesConcurrentDecodesAlone) {
    // Two threads may both find the table unbuilt and build it at once; one
    // of them may already decode while the other is still building.
    struct Builder : CBase64 {
        static void Build() { BuildDecodeTable(); }
    };
    Builder::Build();
    std::atomic<bool> stop{false};
    std::thread builder([&] {
        while (!stop) Builder::Build();
    });
    int wrong = 0;
    const DWORD start = GetTickCount();
    for (int i = 0; i < 200000 && GetTickCount() - start < 3000; ++i)
        if (Decoded("QUJDRA==") != std::string("ABCD\0\0", 6)) ++wrong;
    stop = true;
    builder.join();
    EXPECT_EQ(wrong, 0);
}

class PwdFileTest : public ::testing::Test {
protected:
    TempDir dir;
    CString path = dir.File(_T("KIV.pwd"));
};

TEST_F(PwdFileTest, CreateWritesOneHiddenBase64LineOfUtf8) {
    CKivPwd store;
    ASSERT_TRUE(store.CreatePwdFile(path, _T("abc123")));
    EXPECT_EQ(ReadAll(path), "YWJjMTIz\n");
    EXPECT_TRUE(Attributes(path) & FILE_ATTRIBUTE_HIDDEN);
    EXPECT_TRUE(store.GetCurrentPwd() == _T("abc123"));
    EXPECT_TRUE(store.HasPwd(_T("abc123")));

    CString other = dir.File(_T("cn.pwd"));
    CKivPwd cn;
    // UTF-8, not the ANSI code page; 3 bytes a character need a buffer sized
    // from the text, not from twice its length.
    const CString cnPwd(L"\x5BC6\x78BC\x5BC6\x78BC" L"x");
    ASSERT_TRUE(cn.CreatePwdFile(other, cnPwd));
    EXPECT_EQ(ReadAll(other), "5a+G56K85a+G56K8eA==\n");
    CKivPwd back;
    ASSERT_TRUE(back.LoadPwdFile(other));
    EXPECT_TRUE(back.GetCurrentPwd() == cnPwd);
}

TEST_F(PwdFileTest, CreateOnAnExistingPathChangesNothing) {
    WriteAll(path, "b2xkcHcx\n");
    CKivPwd store;
    EXPECT_FALSE(store.CreatePwdFile(path, _T("abc123")));
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\n");
    EXPECT_FALSE(store.CreatePwdFile(dir.Path(), _T("abc123")));  // a folder
    EXPECT_TRUE(store.GetCurrentPwd().IsEmpty());
}

TEST_F(PwdFileTest, LoadPutsTheNewestAtTheHead) {
    struct { const char* name; std::string bytes; } files[] = {
        {"LF", "b2xkcHcx\nbmV3cHcy\n"},
        {"CRLF", "b2xkcHcx\r\nbmV3cHcy\r\n"},
        {"no final line feed", "b2xkcHcx\nbmV3cHcy"},
        {"over-long line skipped", "b2xkcHcx\n" + std::string(300, 'Q') + "\nbmV3cHcy\n"},
        // Lines that hold no password are skipped wherever they stand.
        {"text editor: CRLF and an empty last line", "b2xkcHcx\r\nbmV3cHcy\r\n\r\n"},
        {"an empty line added to an LF file", "b2xkcHcx\nbmV3cHcy\n\r\n"},
        {"empty lines first, between and last", "\n\nb2xkcHcx\n\nbmV3cHcy\n\n"},
        {"blank lines", "b2xkcHcx\n \t \nbmV3cHcy\n  \r\n"},
        {"lines of zero bytes", "AA==\nb2xkcHcx\nbmV3cHcy\nAA==\nAAAA\r\n"},
        {"a leading zero byte", "b2xkcHcx\nbmV3cHcy\nAEFC\n"},
    };
    for (auto& f : files) {
        WriteAll(path, f.bytes);
        CKivPwd store;
        ASSERT_TRUE(store.LoadPwdFile(path)) << f.name;
        EXPECT_TRUE(store.GetCurrentPwd() == _T("newpw2")) << f.name;
        EXPECT_TRUE(store.HasPwd(_T("oldpw1"))) << f.name;
        EXPECT_TRUE(store.HasPwd(_T("newpw2"))) << f.name;
        EXPECT_FALSE(store.HasPwd(_T("NEWPW2"))) << f.name;
        EXPECT_FALSE(store.HasPwd(_T("newpw"))) << f.name;
        EXPECT_FALSE(store.HasPwd(_T(""))) << f.name;
        // A second load lists everything twice; the answers stay.
        ASSERT_TRUE(store.LoadPwdFile(path)) << f.name;
        EXPECT_TRUE(store.GetCurrentPwd() == _T("newpw2")) << f.name;
    }
}

TEST_F(PwdFileTest, FileWithoutAPasswordDoesNotLoad) {
    const char* files[] = {"", "\n", "\r\n\r\n", " \n\t\r\n", "AA==\n", "AA==\r\nAEFC\r\n\r\n"};
    for (const char* bytes : files) {
        WriteAll(path, bytes);
        CKivPwd store;
        EXPECT_FALSE(store.LoadPwdFile(path)) << bytes;
        EXPECT_TRUE(store.GetCurrentPwd().IsEmpty());
        EXPECT_FALSE(store.HasPwd(_T(""))) << bytes;
    }
    WriteAll(path, std::string(600, 'Q'));  // one over-long line only
    CKivPwd store;
    EXPECT_FALSE(store.LoadPwdFile(path));
    EXPECT_FALSE(store.LoadPwdFile(dir.File(_T("missing.pwd"))));
}

TEST_F(PwdFileTest, ChangeAppendsOnlyForTheExactCurrentPassword) {
    WriteAll(path, "b2xkcHcx\n");
    CKivPwd store;
    ASSERT_TRUE(store.LoadPwdFile(path));
    EXPECT_FALSE(store.ChangePwd(_T("OLDPW1"), _T("newpw2")));
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\n");
    ASSERT_TRUE(store.ChangePwd(_T("oldpw1"), _T("newpw2")));
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\nbmV3cHcy\n");
    EXPECT_TRUE(store.GetCurrentPwd() == _T("oldpw1"));  // until the next load
    EXPECT_TRUE(store.HasPwd(_T("newpw2")));

    CKivPwd next;
    ASSERT_TRUE(next.LoadPwdFile(path));
    EXPECT_TRUE(next.GetCurrentPwd() == _T("newpw2"));

    // A password that cannot be encoded writes nothing.
    EXPECT_FALSE(next.ChangePwd(_T("newpw2"), CString(L"abc\xD800")));
    EXPECT_FALSE(next.ChangePwd(_T("newpw2"), CString()));
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\nbmV3cHcy\n");

    // A last line without its line feed stays a line of its own.
    WriteAll(path, "b2xkcHcx");
    CKivPwd bare;
    ASSERT_TRUE(bare.LoadPwdFile(path));
    ASSERT_TRUE(bare.ChangePwd(_T("oldpw1"), _T("newpw2")));
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\nbmV3cHcy\n");
}

TEST_F(PwdFileTest, ChangeOnAFullDriveLeavesTheFileAsItWas) {
    CString root = FullDriveRoot();
    if (root.IsEmpty()) GTEST_SKIP() << "no full drive";
    const DWORD nUnit = AllocationUnit(root);
    ASSERT_GE(nUnit, 512u);
    TempDir full{root};
    CString target = full.File(_T("KIV.pwd"));
    const std::string history = PwdHistoryShortOfUnit(nUnit);
    WriteAll(target, history);
    ASSERT_TRUE(SetFileAttributesW(target, FILE_ATTRIBUTE_HIDDEN));
    const DWORD attrs = Attributes(target);
    CDriveFiller filler(full.File(_T("filler")));

    CKivPwd store;
    ASSERT_TRUE(store.LoadPwdFile(target));
    BOOL bChanged = FALSE;
    try {
        bChanged = store.ChangePwd(_T("current99"), _T("brand3"));
    } catch (CFileException* e) {
        e->Delete();
    }
    EXPECT_FALSE(bChanged);
    EXPECT_TRUE(ReadAll(target) == history) << ReadAll(target).size() << " bytes";
    EXPECT_EQ(Attributes(target), attrs);
    EXPECT_FALSE(store.HasPwd(_T("brand3")));

    CKivPwd next;
    ASSERT_TRUE(next.LoadPwdFile(target));
    EXPECT_TRUE(next.GetCurrentPwd() == _T("current99"));
    EXPECT_TRUE(next.HasPwd(_T("oldpw1")));
}

TEST_F(PwdFileTest, AnotherHolderIsWaitedOutThenReportedAsInUse) {
    WriteAll(path, "b2xkcHcx\n");
    CKivPwd changer;
    ASSERT_TRUE(changer.LoadPwdFile(path));
    {
        // Held with no sharing past the wait: in use, and nothing written.
        CFile holder;
        ASSERT_TRUE(holder.Open(path, CFile::modeRead | CFile::shareExclusive));
        CKivPwd store;
        DWORD nStart = GetTickCount();
        EXPECT_FALSE(store.LoadPwdFile(path));
        EXPECT_GE(GetTickCount() - nStart, CKivPwd::kShareWaitMs - 100);
        EXPECT_EQ(store.GetOpenError(), (DWORD)ERROR_SHARING_VIOLATION);
        EXPECT_FALSE(changer.ChangePwd(_T("oldpw1"), _T("newpw2")));
        EXPECT_EQ(changer.GetOpenError(), (DWORD)ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\n");
    {
        // Another reader: read at once; a writer waits for it.
        CFile reader;
        ASSERT_TRUE(reader.Open(path, CFile::modeRead | CFile::shareDenyWrite));
        CKivPwd store;
        DWORD nStart = GetTickCount();
        EXPECT_TRUE(store.LoadPwdFile(path));
        EXPECT_LT(GetTickCount() - nStart, CKivPwd::kShareWaitMs / 2);
        EXPECT_TRUE(store.GetCurrentPwd() == _T("oldpw1"));
        EXPECT_FALSE(changer.ChangePwd(_T("oldpw1"), _T("newpw2")));
        EXPECT_EQ(changer.GetOpenError(), (DWORD)ERROR_SHARING_VIOLATION);
    }
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\n");

    // Let go within the wait: the reader and then the writer succeed.
    for (bool bChange : {false, true}) {
        std::atomic<bool> held{false};
        std::thread other([&] {
            CFile holder;
            if (holder.Open(path, CFile::modeRead | CFile::shareExclusive)) {
                held = true;
                Sleep(CKivPwd::kShareWaitMs / 3);
            }
            held = true;
        });
        while (!held) Sleep(5);
        CKivPwd store;
        EXPECT_TRUE(bChange ? changer.ChangePwd(_T("oldpw1"), _T("newpw2")) : store.LoadPwdFile(path)) << bChange;
        other.join();
    }
    EXPECT_EQ(ReadAll(path), "b2xkcHcx\nbmV3cHcy\n");
}

TEST_F(PwdFileTest, FailedCreateLeavesNoFile) {
    CKivPwd store;
    EXPECT_FALSE(store.CreatePwdFile(path, CString(L"ab\xDC00" L"cdef")));
    EXPECT_EQ(Attributes(path), INVALID_FILE_ATTRIBUTES);
    EXPECT_FALSE(store.CreatePwdFile(dir.File(_T("no\\such\\KIV.pwd")), _T("abc123")));

    // A full drive: the file is created but its line cannot be written.
    CString root = FullDriveRoot();
    if (root.IsEmpty()) GTEST_SKIP() << "no full drive";
    TempDir full{root};
    CDriveFiller filler(full.File(_T("filler")));
    CString target = full.File(_T("KIV.pwd"));
    BOOL bThrown = FALSE;
    try {
        store.CreatePwdFile(target, _T("abc123"));
    } catch (CFileException* e) {
        bThrown = TRUE;
        e->Delete();
    }
    EXPECT_TRUE(bThrown);
    EXPECT_EQ(Attributes(target), INVALID_FILE_ATTRIBUTES);
    EXPECT_TRUE(store.GetCurrentPwd().IsEmpty());
}

TEST(PwdStoreTest, NothingLoadedAnswersNothing) {
    CKivPwd store;
    EXPECT_TRUE(store.GetCurrentPwd().IsEmpty());
    EXPECT_FALSE(store.HasPwd(_T("")));
    EXPECT_FALSE(store.HasPwd(_T("abc123")));
    EXPECT_FALSE(store.ChangePwd(_T(""), _T("abc123")));
    store.AddPwd(_T("E:\\KIV\\KIV.pwd"), _T("abc123"));
    EXPECT_TRUE(store.HasPwd(_T("abc123")));
    EXPECT_TRUE(store.GetCurrentPwd() == _T("abc123"));
    // An empty password is never accepted, even when the list holds one.
    store.AddPwd(_T("E:\\KIV\\KIV.pwd"), CString());
    EXPECT_FALSE(store.HasPwd(_T("")));
    EXPECT_TRUE(CKivPwd::DecodePwd(CString()).IsEmpty());
    EXPECT_TRUE(CKivPwd::DecodePwd(CKivPwd::EncodePwd(_T("Secret9"))) == _T("Secret9"));
    EXPECT_TRUE(CKivPwd::EncodePwd(_T("Secret9")) == _T("U2VjcmV0OQ=="));
}
