#include "Http/PageParts.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/PlannerPalette.h"
#include "KanbanCore/Text.h"

#include <cmath>

namespace taskory::BoardPage {
namespace {

// Kept inline so that the page needs no second request and works offline.
constexpr std::string_view kStyle = R"CSS(
:root{color-scheme:light dark;--bg:#f4f5f7;--fg:#1d2330;--mut:#5d6573;--col:#e8eaee;--card:#fff;--line:#d4d8de;--acc:#0f548c;--late:#a4262c;--lateBg:#fde7e9}
@media (prefers-color-scheme:dark){:root{--bg:#15181d;--fg:#e6e9ee;--mut:#9aa3b0;--col:#1f242b;--card:#2a3038;--line:#3a414b;--acc:#7fb8ee;--late:#ff9a9f;--lateBg:#4a1d22}}
*{box-sizing:border-box}body{margin:0;background:var(--bg);color:var(--fg);font:15px/1.4 system-ui,-apple-system,"Segoe UI",Roboto,sans-serif}
main{padding:12px}h1{font-size:1.3em;margin:0 0 8px}h2{font-size:1.05em;margin:0 0 8px}
nav{display:flex;flex-wrap:wrap;gap:6px;margin:0 0 10px;align-items:center}
nav a,nav button,nav select{color:var(--acc);background:var(--card);border:1px solid var(--line);border-radius:6px;padding:4px 10px;text-decoration:none;font:inherit}
nav a[aria-current]{background:var(--acc);color:var(--card);border-color:var(--acc)}
.cols{display:flex;gap:10px;overflow-x:auto;align-items:flex-start;padding-bottom:8px}
.col{background:var(--col);border-radius:8px;padding:8px;min-width:250px;flex:1 0 250px;max-width:340px;border-top:4px solid var(--bucket,transparent)}
.board .col{max-height:calc(100vh - 24px);overflow-y:auto}.week .col{min-width:150px;flex:1 1 0}.wrap{flex-wrap:wrap}
.card{border-left:4px solid var(--cardc,var(--line))}.mark{font-weight:600}
.col.today{outline:2px solid var(--acc);outline-offset:-2px}
.col h2 .n{color:var(--mut);font-weight:normal}
ol{list-style:none;margin:0;padding:0;display:flex;flex-direction:column;gap:6px}
.card{background:var(--card);border:1px solid var(--line);border-radius:6px;padding:6px 8px}
.card.done .t{text-decoration:line-through;color:var(--mut)}
.t{font-weight:600;hyphens:auto;-webkit-hyphens:auto;overflow-wrap:break-word}.m{font-size:.85em;color:var(--mut);display:flex;flex-wrap:wrap;gap:2px 8px}
.id{font-family:ui-monospace,monospace}.late{color:var(--late);background:var(--lateBg);border-radius:4px;padding:0 4px;font-weight:600}
.pr-urgent{color:var(--late);font-weight:600}.pr-important{color:var(--acc);font-weight:600}
.goal.past .due{color:var(--late);font-weight:600}.notes{white-space:pre-line;font-size:.85em;margin-top:2px}
.lb{display:flex;flex-wrap:wrap;gap:4px;margin-top:4px}.lb span{border-radius:4px;padding:0 6px;font-size:.8em}
.g{font-size:.85em;margin-top:2px}.empty,.hint{color:var(--mut)}
.goal{display:grid;grid-template-columns:1fr auto;gap:2px 10px}.goal meter{width:100%;grid-column:1/3}
a.t{display:block;color:inherit;text-decoration:none}a.t:hover,a.t:focus{text-decoration:underline}
.facts{display:grid;grid-template-columns:max-content 1fr;gap:2px 12px;margin:10px 0}.facts dt{color:var(--mut)}.facts dd{margin:0}
.facts dd.late{color:var(--late);font-weight:600}.checklist{list-style:none;padding:0}.checklist .done{color:var(--mut);text-decoration:line-through}
.cardpage{background:var(--card);border:1px solid var(--line);border-radius:8px;padding:12px;max-width:760px}.cardpage .m{display:flex;flex-wrap:wrap;gap:4px 12px}
.filter{display:flex;flex-wrap:wrap;gap:6px 12px;align-items:center;margin:0 0 10px}.filter input,.filter select,.filter button{font:inherit}
.add summary,.actions button,.edit button{cursor:pointer}.add form,.edit{display:flex;flex-wrap:wrap;gap:6px;align-items:center;margin:6px 0}
.fields{display:grid;grid-template-columns:repeat(auto-fill,minmax(220px,1fr));gap:8px}.fields label{display:flex;flex-direction:column;gap:2px}
fieldset{border:1px solid var(--line);border-radius:6px;margin:8px 0}.actions{display:flex;gap:8px;flex-wrap:wrap}
:focus-visible{outline:2px solid var(--acc);outline-offset:2px}.js .js-hidden{display:none}
.board .card{cursor:grab}.assistant{color:var(--acc)}#keys{position:fixed;right:12px;bottom:12px;background:var(--card);border:1px solid var(--line);border-radius:8px;padding:8px 12px}
.sr{position:absolute;width:1px;height:1px;overflow:hidden;clip:rect(0 0 0 0);white-space:nowrap}
#stale{margin:0;padding:8px 12px;background:var(--lateBg);color:var(--late);font-weight:600}
@media (max-width:600px){.cols{flex-direction:column}.col{max-width:none;width:100%;flex:none}}
)CSS";

// Asks for the cheap change counter every second and, when it moved, fetches
// the same address again and swaps the content in place: no reload, the
// window's and the columns' scroll positions and the focus stay, and a
// polite live region says "Aktualisiert". When the counter cannot be had,
// a banner says why the view is no longer current.
constexpr std::string_view kScript = R"JS(
(function(){var v=document.body.dataset.version,busy=false;
var live=document.getElementById('live'),stale=document.getElementById('stale');
var lost='Verbindung verloren – die Ansicht ist nicht aktuell';
function warn(t){if(stale.textContent!==t)stale.textContent=t;stale.hidden=!t;}
function keep(){var a=document.activeElement,f=null,m=document.querySelector('main');
if(a&&a!==document.body&&m.contains(a))f=a.id?'#'+a.id:(a.getAttribute('href')||null);
return{x:scrollX,y:scrollY,f:f,c:[].map.call(m.querySelectorAll('.cols'),function(c){return c.scrollLeft;})};}
function restore(k){var cs=document.querySelectorAll('main .cols');k.c.forEach(function(x,i){if(cs[i])cs[i].scrollLeft=x;});
scrollTo(k.x,k.y);if(!k.f)return;var e=k.f.charAt(0)==='#'?document.getElementById(k.f.slice(1)):
[].find.call(document.querySelectorAll('main [href]'),function(n){return n.getAttribute('href')===k.f;});if(e)e.focus({preventScroll:true});}
setInterval(async function(){if(busy)return;busy=true;try{
var r=await fetch('/changes',{cache:'no-store',credentials:'same-origin'});
if(r.status===401)warn('Anmeldung abgelaufen – bitte die Board-Adresse aus der Startmeldung des Servers neu öffnen');
else if(!r.ok)warn((await r.text()).trim()||lost);
else if((await r.text()).trim()===v)warn('');
else{var p=await fetch(location.href,{cache:'no-store',credentials:'same-origin'});
var d=new DOMParser().parseFromString(await p.text(),'text/html'),m=d.querySelector('main');
if(!p.ok||!m)warn(m&&m.textContent.trim()||lost);
else{var k=keep();document.querySelector('main').replaceWith(m);restore(k);v=d.body.dataset.version;
document.body.dataset.version=v;document.title=d.title;warn('');live.textContent='';live.textContent='Aktualisiert';}}
}catch(e){warn(lost);}busy=false;},1000);
document.documentElement.classList.add('js');
function swapIn(d,k){var m=d.querySelector('main');if(!m)return;document.querySelector('main').replaceWith(m);
if(k)restore(k);v=d.body.dataset.version||v;document.body.dataset.version=v;document.title=d.title;
var a=document.querySelector('main [autofocus]');if(a)a.focus();}
document.addEventListener('submit',async function(e){var f=e.target;if(!f.classList.contains('edit'))return;e.preventDefault();
var b=new URLSearchParams(new FormData(f)),c=e.submitter&&e.submitter.dataset.confirm;
if(c){if(!confirm(c))return;b.set('confirmed','1');}
post(f.action,b);});
document.addEventListener('change',function(e){if(e.target.classList.contains('tick'))e.target.form.requestSubmit();});
async function post(url,b){busy=true;try{var r=await fetch(url,{method:'POST',body:b,credentials:'same-origin'});
var d=new DOMParser().parseFromString(await r.text(),'text/html');var k=keep();swapIn(d,r.redirected&&r.ok?k:null);
live.textContent='';live.textContent=r.ok?'Gespeichert':(d.querySelector('h1')||{}).textContent||'Nicht gespeichert';warn('');
}catch(x){warn(lost);}busy=false;}
var dragged=null;
document.addEventListener('dragstart',function(e){var c=e.target.closest&&e.target.closest('.board .card');if(!c)return;dragged=c;e.dataTransfer.effectAllowed='move';e.dataTransfer.setData('text/plain',c.dataset.id);});
document.addEventListener('dragover',function(e){if(dragged&&e.target.closest&&e.target.closest('.board .col[data-bucket]'))e.preventDefault();});
document.addEventListener('drop',function(e){var col=e.target.closest&&e.target.closest('.board .col[data-bucket]');if(!dragged||!col)return;e.preventDefault();
var after='';[].forEach.call(col.querySelectorAll('.card'),function(c){if(c!==dragged&&c.getBoundingClientRect().top+c.offsetHeight/2<e.clientY)after=c.dataset.id;});
var b=new URLSearchParams();b.set('_token',col.closest('.board').dataset.token);b.set('bucket',col.dataset.bucket);b.set('after',after);b.set('back',location.pathname+location.search);
var id=dragged.dataset.id;dragged=null;post('/card/'+encodeURIComponent(id)+'/move',b);});
document.addEventListener('keydown',function(e){if(e.key==='Escape'){var d=e.target.closest&&e.target.closest('details.add');if(d){d.open=false;d.querySelector('summary').focus();}return;}
var t=e.target.tagName;if(t==='INPUT'||t==='TEXTAREA'||t==='SELECT'||e.ctrlKey||e.metaKey||e.altKey)return;
if(e.key==='/'){var q=document.querySelector('main input[name=q]');if(q){e.preventDefault();q.focus();}}
else if(e.key==='n'){var col=e.target.closest&&e.target.closest('.col')||document.querySelector('.board .col');var a=col&&col.querySelector('details.add');
if(a){e.preventDefault();a.open=true;a.querySelector('input[name=title]').focus();}}
else if(e.key==='?'){var h=document.getElementById('keys');if(h){e.preventDefault();h.hidden=!h.hidden;}}});
})();
)JS";

} // namespace

std::string escaped(std::string_view raw) {
  const std::string text = text::sanitizedUTF8(raw);
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
    case '&':
      out += "&amp;";
      break;
    case '<':
      out += "&lt;";
      break;
    case '>':
      out += "&gt;";
      break;
    case '"':
      out += "&quot;";
      break;
    case '\'':
      out += "&#39;";
      break;
    default:
      out += c;
    }
  }
  return out;
}

std::string urlEncoded(std::string_view text) {
  constexpr std::string_view kHex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : text) {
    if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
        (c >= '0' && c <= '9') || c == '-' || c == '_' || c == '.' || c == '~')
      out += static_cast<char>(c);
    else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

// One of the two always reaches WCAG's 4.5:1, which the palette's own text
// colour misses on its lightest label colours.
std::string_view textColourOn(std::string_view background) {
  if (background.size() != 7 || background.front() != '#')
    return "#000000";
  constexpr double kWeights[] = {0.2126, 0.7152, 0.0722};
  double luminance = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    const int high = text::hexDigitValue(background[1 + 2 * i]);
    const int low = text::hexDigitValue(background[2 + 2 * i]);
    if (high < 0 || low < 0)
      return "#000000";
    const double channel = (high * 16 + low) / 255.0;
    luminance += kWeights[i] * (channel <= 0.04045
                                    ? channel / 12.92
                                    : std::pow((channel + 0.055) / 1.055, 2.4));
  }
  return (luminance + 0.05) / 0.05 >= 1.05 / (luminance + 0.05) ? "#000000"
                                                                 : "#ffffff";
}

std::optional<std::string> cssColour(std::string_view stored) {
  if (!PlannerPalette::perceivedBrightness(stored))
    return std::nullopt;
  while (!stored.empty() && (stored.back() == ' ' || stored.back() == '\t' ||
                             stored.back() == '\n' || stored.back() == '\r'))
    stored.remove_suffix(1);
  return "#" + std::string(stored.substr(stored.size() - 6));
}

void appendHidden(std::string &out, std::string_view name,
                  std::string_view value) {
  out += "<input type=\"hidden\" name=\"";
  append(out, name);
  out += "\" value=\"";
  append(out, value);
  out += "\">";
}

void appendChangeFormStart(std::string &out, std::string_view action,
                           std::string_view label, std::string_view token,
                           std::string_view back) {
  out += "<form class=\"edit\" method=\"post\" action=\"";
  append(out, action);
  out += "\"";
  if (!label.empty()) {
    out += " aria-label=\"";
    append(out, label);
    out += "\"";
  }
  out += ">";
  appendHidden(out, "_token", token);
  appendHidden(out, "back", back);
}

std::string inputDate(const std::optional<Date> &date,
                      const Calendar &calendar) {
  return date ? calendar.format(*date, "yyyy-MM-dd") : std::string();
}

void appendLabels(std::string &out, const std::vector<std::string> &names,
                  const std::vector<int64_t> &slots) {
  if (names.empty())
    return;
  out += "<div class=\"lb\">";
  for (std::size_t i = 0; i < names.size(); ++i) {
    const LabelColorSpec color =
        PlannerPalette::labelColor(i < slots.size() ? slots[i] : 0);
    out += "<span style=\"background:";
    out += color.backgroundHex;
    out += ";color:";
    out += textColourOn(color.backgroundHex);
    out += "\">";
    append(out, names[i]);
    out += "</span>";
  }
  out += "</div>";
}

std::string pageDate(Date date, int defaultHour, const Calendar &calendar) {
  const Calendar::Components parts = calendar.components(date);
  if (parts.hour == defaultHour && parts.minute == 0)
    return calendar.format(date, "EEE dd.MM.yyyy");
  return calendar.format(date, "EEE dd.MM.yyyy HH:mm");
}

std::string document(std::string_view title, uint64_t version,
                     std::string_view main, bool live) {
  std::string out = "<!doctype html><html lang=\"de\"><head><meta "
                    "charset=\"utf-8\"><meta name=\"viewport\" "
                    "content=\"width=device-width, initial-scale=1\"><meta "
                    "name=\"color-scheme\" content=\"light dark\"><title>";
  append(out, title);
  out += "</title><style>";
  out += kStyle;
  out += "</style></head><body data-version=\"" + std::to_string(version) +
         "\"><p id=\"stale\" role=\"alert\" hidden></p><div id=\"live\" "
         "class=\"sr\" role=\"status\" aria-live=\"polite\"></div><main>";
  out += main;
  out += "</main>";
  if (live)
    out += "<aside id=\"keys\" hidden aria-label=\"Tastenkürzel\"><h2>Tastenkürzel"
           "</h2><dl><dt>n</dt><dd>Neue Karte in der Spalte mit dem Fokus</dd>"
           "<dt>/</dt><dd>Suche</dd><dt>?</dt><dd>Diese Liste ein- und "
           "ausblenden</dd><dt>Esc</dt><dd>Neue Karte abbrechen</dd></dl>"
           "</aside>";
  if (live) {
    out += "<script>";
    out += kScript;
    out += "</script>";
  }
  out += "</body></html>";
  return out;
}

} // namespace taskory::BoardPage
