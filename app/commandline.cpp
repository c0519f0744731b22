// Option parsing with getopt_long; the texts here are not translated.
#include "app/commandline.h"

#include <cstdio>
#include <cstdlib>
#include <getopt.h>

#include "app/mainwindow.h"
#include "engine/globals.h"

namespace
{

enum LongOnly { DisableRepo = 256, EnableRepo = 257 };

const struct option optionTable[] = {
    {"help", no_argument, nullptr, 'h'},
    {"repo-editor", no_argument, nullptr, 'r'},
    {"log", no_argument, nullptr, 'l'},
    {"disablerepo", required_argument, nullptr, DisableRepo},
    {"enablerepo", required_argument, nullptr, EnableRepo},
    {nullptr, 0, nullptr, 0},
};

}

void CommandLine::parse(int argc, char** argv, MainWindow* window)
{
    opterr = 0;
    // Zero makes glibc start a fresh scan, so parsing twice in one process works.
    optind = 0;
    for (;;) {
        optopt = 0;
        int value = getopt_long(argc, argv, "+hHrl", optionTable, nullptr);
        if (value == -1)
            break;
        switch (value) {
        case 'h':
        case 'H':
            usage();
        case 'r':
            window->startWithRepoEditor = true;
            break;
        case 'l':
            window->startWithLog = true;
            break;
        case DisableRepo:
            window->repoEnabled.append(YumRepoEnabled(false, QString::fromLocal8Bit(optarg)));
            break;
        case EnableRepo:
            window->repoEnabled.append(YumRepoEnabled(true, QString::fromLocal8Bit(optarg)));
            break;
        default:
            if (optopt != 0)
                fprintf(stderr, "%s: unrecognized option letter: %c\n", program, optopt);
            else
                fprintf(stderr, "%s: unrecogized option: %s\n", program, argv[optind - 1]);
            usage();
        }
    }
    if (optind < argc) {
        fprintf(stderr, "%s: unrecognized argument: %s\n", program, argv[optind]);
        usage();
    }
}

void CommandLine::usage()
{
    printf("usage: %s [options...]\n", program);
    printf("\n");
    printf("KUV, Kuvarin, is a graphical user interface which allows a user\n");
    printf("to make modifications to the installed rpm packages on a system.\n");
    printf("\n");
    printf("options:\n");
    printf("\n");
    printf("   -h, -H, --help           display this help information\n");
    printf("   -r,     --repo-editor    start by bringing up the repository configuration\n");
    printf("                            editor\n");
    printf("   -l,     --log            start with the log window displayed\n");
    printf("           --disablerepo=r  disable the specified repository, r\n");
    printf("           --enablerepo=r   enable the specified repository, r\n");
    printf("\n");
    exit(1);
}
