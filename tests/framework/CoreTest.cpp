// The portable framework: strings, files and their exceptions.
#include "framework/Afx.h"
#include "tests/support/TempDir.h"
#include <gtest/gtest.h>

TEST(CStringTest, SlicesAndSearches) {
    CString s(_T("E:\\dir\\file.kvf"));
    EXPECT_EQ(s.GetLength(), 15);
    EXPECT_EQ(s.ReverseFind('\\'), 6);
    EXPECT_TRUE(s.Left(2) == _T("E:"));
    EXPECT_TRUE(s.Mid(7) == _T("file.kvf"));
    EXPECT_TRUE(s.Mid(7, 4) == _T("file"));
    EXPECT_TRUE(s.Right(3) == _T("kvf"));
    EXPECT_TRUE(s.Mid(40).IsEmpty());
    EXPECT_EQ(s.Find(_T("dir")), 3);
    EXPECT_EQ(s.Find('x'), -1);
    CString u(s);
    u.MakeUpper();
    EXPECT_TRUE(u == _T("E:\\DIR\\FILE.KVF"));
    EXPECT_EQ(u.CompareNoCase(s), 0);
    EXPECT_NE(u.Compare(s), 0);
}

TEST(CStringTest, BufferAccessAndUtf8) {
    CString s;
    LPTSTR p = s.GetBuffer(8);
    p[0] = 'a';
    p[1] = 'b';
    p[2] = 0;
    s.ReleaseBuffer();
    EXPECT_TRUE(s == _T("ab"));
    CString z = CString::FromUtf8("\xE4\xB8\xAD\xE6\x96\x87 x", 8);
    EXPECT_EQ(z.GetLength(), 4);
    EXPECT_EQ(z.ToUtf8(), std::string("\xE4\xB8\xAD\xE6\x96\x87 x"));
}

TEST(CFileTest, WritesReadsSeeksAndReportsFailures) {
    TempDir dir;
    CString path = dir.File(_T("a.bin"));
    {
        CFile f(path, CFile::modeCreate | CFile::modeWrite);
        f.Write("hello world", 11);
        EXPECT_EQ(f.GetPosition(), 11u);
        f.Seek(0, CFile::begin);
        f.Write("J", 1);
        f.Close();
    }
    CFile r;
    ASSERT_TRUE(r.Open(path, CFile::modeRead | CFile::shareDenyWrite));
    EXPECT_EQ(r.GetLength(), 11u);
    char buf[32] = {0};
    EXPECT_EQ(r.Read(buf, sizeof buf), 11u);
    EXPECT_STREQ(buf, "Jello world");
    EXPECT_EQ(r.Read(buf, sizeof buf), 0u);
    r.Close();

    CFileException e;
    CFile missing;
    EXPECT_FALSE(missing.Open(dir.File(_T("no\\such\\file")), CFile::modeRead, &e));
    EXPECT_NE(e.m_cause, CFileException::none);
    try {
        CFile::Remove(dir.File(_T("nothing-here")));
        FAIL() << "Remove of a missing file must throw";
    } catch (CFileException* ex) {
        EXPECT_TRUE(ex->IsKindOf(RUNTIME_CLASS(CException)));
        EXPECT_EQ(ex->m_cause, CFileException::fileNotFound);
        ex->Delete();
    }
}

TEST(CollectionsTest, ListsAndArrayBounds) {
    CStringList l;
    l.AddTail(CString(_T("b")));
    l.AddHead(CString(_T("a")));
    EXPECT_EQ(l.GetCount(), 2);
    EXPECT_TRUE(l.GetHead() == _T("a"));
    EXPECT_NE(l.Find(CString(_T("b"))), nullptr);
    CPtrList p;
    int x = 0;
    POSITION pos = p.AddTail(&x);
    EXPECT_EQ(p.Find(&x), pos);
    p.RemoveAt(pos);
    EXPECT_TRUE(p.IsEmpty());
    CArray<int, int> a;
    try {
        a.GetAt(0);
        FAIL() << "an empty array has no element 0";
    } catch (CInvalidArgException* e) {
        e->Delete();
    }
}
