// shopscope-publish: see PublishTool.h and `shopscope-publish --help`.

#include "upgrade/publish/PublishTool.h"

#include <iostream>

int main(int argc, char* argv[])
{
    const std::vector<std::string> args(argv + 1, argv + argc);
    return RunPublishTool(args, std::cout, std::cerr);
}
