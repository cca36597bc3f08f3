# Where Shopscope's stores and maker live. These are deployment settings:
# a build for another market or a staging server changes them here (or with
# -D on the cmake command line), never in the code.
set(SHOPSCOPE_HOST_JD            "www.jd.com"            CACHE STRING "京东商城 main host")
set(SHOPSCOPE_SEARCH_HOST_JD     "search.jd.com"         CACHE STRING "京东商城 search host")
set(SHOPSCOPE_HOST_NEWEGG        "www.newegg.com.cn"     CACHE STRING "新蛋 main host")
set(SHOPSCOPE_HOST_TAOBAO        "www.taobao.com"        CACHE STRING "淘宝 main host")
set(SHOPSCOPE_SEARCH_HOST_TAOBAO "s.taobao.com"          CACHE STRING "淘宝 search host")
set(SHOPSCOPE_HOST_LIJIABABY     "www.lijiababy.com.cn"  CACHE STRING "丽家宝贝 main host")
set(SHOPSCOPE_HOST_REDBABY       "www.redbaby.com.cn"    CACHE STRING "红孩子 main host")
set(SHOPSCOPE_HOST_DANGDANG      "www.dangdang.com"      CACHE STRING "当当网 main host")
set(SHOPSCOPE_SEARCH_HOST_DANGDANG "search.dangdang.com" CACHE STRING "当当网 search host")
set(SHOPSCOPE_HOST_AMAZON        "www.amazon.cn"         CACHE STRING "卓越网 main host")
set(SHOPSCOPE_HOST_GOME          "www.gome.com.cn"       CACHE STRING "国美电器 main host")
set(SHOPSCOPE_HOST_ICBC          "mall.icbc.com.cn"      CACHE STRING "中国工商银行商城 main host")
set(SHOPSCOPE_MAKER_WEB          "www.shopscope.cn"      CACHE STRING "The maker's web address, shown in the status bar")
set(SHOPSCOPE_SUPPORT_QQ         "800012345;800067890"   CACHE STRING "Support QQ numbers, separated by ';'")
set(SHOPSCOPE_UPGRADE_SERVER     "http://www.shopscope.cn" CACHE STRING "Server that carries /Upgrader.inf")
# The maker's Ed25519 public key (base64 or hex of its 32 bytes, as
# `shopscope-publish keygen` prints it). Empty: upgrade info files are read
# unsigned, as before. Set: only info files signed by this key are accepted,
# and every downloaded file must have the SHA-256 the signed file gives.
set(SHOPSCOPE_UPGRADE_PUBLIC_KEY "" CACHE STRING "Ed25519 public key that signs the upgrade info file (empty: unsigned)")
# The build uses the trimmed key: this normal variable hides the cache entry
# in every folder below.
include(${CMAKE_CURRENT_LIST_DIR}/UpgradePublicKey.cmake)
shopscope_upgrade_public_key(SHOPSCOPE_UPGRADE_PUBLIC_KEY "${SHOPSCOPE_UPGRADE_PUBLIC_KEY}")
