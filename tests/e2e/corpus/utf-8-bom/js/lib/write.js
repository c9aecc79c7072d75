/* 担当者欄を書き出す（髙橋・宮﨑） */
document.write('<p class="write" data-js="write">担当：髙橋・宮﨑　ﾊﾟｿｺﾝ教室は第Ⅱ会場です。</p>');
document.write('<p class="write" data-js="write-world">Responsable : Zoë — 📞 ☎ ¥ €</p>');
