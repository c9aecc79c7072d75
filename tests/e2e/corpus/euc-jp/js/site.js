// ¤³¤È¤Î¤ÏÊ¸¶ñÅ¹¡§¥Ú¡¼¥¸¤Ë°§»¢Ê¸¤ò½ñ¤­¹þ¤à¡Ê­¡¡Á­£¤Î½ç¡Ë
(function () {
  function put(id, text) {
    var element = document.getElementById(id);
    if (element) element.textContent = text;
  }
  var greeting = 'ËÜÆü¤Ï¡Ö¤³¤È¤Î¤ÏÊ¸¶ñÅ¹¡×¤Ø¤è¤¦¤³¤½¡£';
  put('js-greeting', greeting);
  put('js-notice', 'Ž¾Ž°ŽÙÃæ¡§­¡¡Á­£¤Î¾¦ÉÊ¤Ï£²³ä°ú¡¢­ê¤³¤È¤Î¤Ï²ñ°÷¤Ï¤µ¤é¤Ë£µ¡ó°ú¤­¤Ç¤¹¡£');
  put('js-path', 'C:\\Ê¸½ñ\\É½¼¨Í½Äê.txt ¤ÎÇ½ÎÏÉ½¤ò»²¾È¡Ê¥½¥Õ¥È¡Ë');
  var area = 'ÅìµþÅÔÀéÂåÅÄ¶è¿ÀÅÄ'.replace(/ÀéÂåÅÄ¶è/, 'Ãæ±û¶è');
  put('js-regex', area + '¡Ê°ÜÅ¾Í½Äê¡Ë');
  put('js-escape', '\u3053\u3068\u306e\u306f' + "¡¦üâ¶¶" + "\x41");
  /* °Ê²¼¤Ï³°»ú¡§üâ¡¦ùõ¡¦ù¬¡¦­· */
})();
