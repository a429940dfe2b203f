#include "ftp/ServerFeatures.h"

#include <gtest/gtest.h>

using namespace ftpfeatures;

namespace {

TEST(ServerFeatures, WhatRealServersAnswer) {
    ServerFeatures pure;
    pure.machineListing = pure.extendedPassive = pure.extendedPort = pure.utf8 = true;
    pure.modificationTime = pure.size = pure.restartStream = true;
    pure.listingFacts = {"type",      "size",     "sizd",     "modify",
                         "unix.mode", "unix.uid", "unix.gid", "unique"};
    ServerFeatures vsftpd;
    vsftpd.extendedPassive = vsftpd.extendedPort = vsftpd.utf8 = true;
    vsftpd.modificationTime = vsftpd.size = vsftpd.restartStream = true;
    ServerFeatures pyftpdlib;
    pyftpdlib.machineListing = pyftpdlib.utf8 = pyftpdlib.modificationTime = true;
    pyftpdlib.size = pyftpdlib.restartStream = pyftpdlib.setModificationTime = true;
    pyftpdlib.listingFacts = {"type", "perm", "size", "modify", "unique", "unix.mode"};
    struct Row {
        const char* name;
        const char* reply;
        ServerFeatures expected;
    };
    const Row rows[]{
        {"pure-ftpd",
         "211-Extensions supported:\r\n EPRT\r\n IDLE\r\n MDTM\r\n SIZE\r\n MFMT-not\r\n"
         " REST STREAM\r\n MLST type*;size*;sizd*;modify*;UNIX.mode*;UNIX.uid*;UNIX.gid*;"
         "unique*;\r\n MLSD\r\n PRET\r\n AUTH TLS\r\n ESTP\r\n PASV\r\n EPSV\r\n SPSV\r\n"
         " ESTA\r\n UTF8\r\n211 End.\r\n",
         pure},
        {"vsftpd",
         "211-Features:\r\n EPRT\r\n EPSV\r\n MDTM\r\n PASV\r\n REST STREAM\r\n SIZE\r\n"
         " TVFS\r\n UTF8\r\n211 End\r\n",
         vsftpd},
        {"pyftpdlib-lf-only",
         "211-Features supported:\n MDTM\n MFMT\n MLST type*;perm;size*;modify*;unique*;"
         "unix.mode;\n REST STREAM\n SIZE\n TVFS\n UTF8\n211 End FEAT.\n",
         pyftpdlib},
        {"refused", "500 Unknown command.\r\n", {}},
        {"junk-lines-between",
         "211-x\r\nEPSV without blank\r\n\x01\xff\r\n  \r\n UTF8\r\n211 x\r\n",
         ServerFeatures{.utf8 = true}},
        {"mlst-without-facts-and-empty-facts", "211-x\r\n MLST\r\n211-x\r\n MLST ;;*;\r\n211 x\r\n",
         ServerFeatures{.machineListing = true}},
        {"rest-without-stream-is-no-restart", "211-x\r\n REST\r\n211 x\r\n", {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(ParseFeatures(row.reply), row.expected);
    }
    EXPECT_EQ(ListingFactsCommand(pyftpdlib), "OPTS MLST type;size;modify;perm;unix.mode;");
    EXPECT_EQ(ListingFactsCommand(vsftpd), "");
    EXPECT_TRUE(pure.Offers("UNIX.mode"));
}

} // namespace
