// {{plain}}:{{nbsp}}white space between tokens
var a = 1;{{zwnbsp}}var b ={{nbsp}}2;
var c = /x{{nbsp}}y/.test('x{{nbsp}}y');
document.getElementById('t-space-file').textContent = `{{plain}}{{nbsp}}${a + b}` + (c ?{{nbsp}}'!' : '?');
