#!/usr/bin/python3
"""The web view as a person on a ward uses it, in headless Chromium.

Usage: web_browser_test.py SERVER ADMIN OUTDIR
Starts tabrelpeso-server on a seeded SQLite file, signs in with a reader's
token and checks the pages against the database and `tabrelpeso-admin
assess`; screenshots and the printed PDF are left in OUTDIR to be looked at.
"""
import base64
import hashlib
import http.client
import json
import os
import shutil
import ssl
import sqlite3
import subprocess
import sys
import tempfile
import unittest

SERVER, ADMIN, OUT = sys.argv[1:4]
CHROMEDRIVER = shutil.which("chromedriver") or "/usr/bin/chromedriver"
READER, MAINTAINER = "leitor-web-1", "mantenedor-web-1"


def start_server(db, tokens, *extra):
    proc = subprocess.Popen([SERVER, "--listen", "127.0.0.1:0", "--db", db, "--tokens", tokens,
                             "--log", "quiet", *extra],
                            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True)
    line = proc.stdout.readline()
    if not line.startswith("listening on"):
        proc.kill()
        raise RuntimeError("server did not start: " + line)
    return proc, int(line.rsplit(":", 1)[1])


def request(port, method, path, body=None, cookie=None, tls=None):
    conn = (http.client.HTTPSConnection("127.0.0.1", port, timeout=30, context=tls) if tls
            else http.client.HTTPConnection("127.0.0.1", port, timeout=30))
    headers = {"Content-Type": "application/x-www-form-urlencoded"} if body is not None else {}
    if cookie:
        headers["Cookie"] = "trp_sessao=" + cookie
    conn.request(method, path, body=body, headers=headers)
    res = conn.getresponse()
    data = res.read().decode("utf-8", "replace")
    conn.close()
    return res, data


def db_digest(db):
    con = sqlite3.connect(db)
    digest = hashlib.sha256("\n".join(con.iterdump()).encode()).hexdigest()
    con.close()
    return digest


def brazilian(value, decimals):
    text = f"{value:,.{decimals}f}"
    return text.replace(",", "_").replace(".", ",").replace("_", ".")


class WebView(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        from selenium import webdriver
        from selenium.webdriver.chrome.service import Service
        cls.tmp = tempfile.mkdtemp(prefix="trp-web-")
        cls.db = os.path.join(cls.tmp, "tabelas.db")
        subprocess.run([ADMIN, "seed", "--db", cls.db], check=True, capture_output=True)
        cls.tokens = os.path.join(cls.tmp, "tokens")
        with open(cls.tokens, "w") as f:
            f.write(f"leitor reader {READER}\nadmin maintainer {MAINTAINER}\n")
        cls.digest = db_digest(cls.db)
        cls.proc, cls.port = start_server(cls.db, cls.tokens)
        cls.base = f"http://127.0.0.1:{cls.port}"
        options = webdriver.ChromeOptions()
        options.binary_location = shutil.which("chromium") or "/usr/bin/chromium"
        for flag in ("--headless", "--no-sandbox", "--disable-gpu", "--disable-quic",
                     "--no-first-run", "--disable-background-networking",
                     "--disable-component-update", "--disable-sync", "--window-size=1366,768",
                     "--lang=pt-BR", "--user-data-dir=" + os.path.join(cls.tmp, "perfil")):
            options.add_argument(flag)
        options.set_capability("goog:loggingPrefs", {"browser": "ALL"})
        cls.driver = webdriver.Chrome(service=Service(CHROMEDRIVER), options=options)
        os.makedirs(OUT, exist_ok=True)

    @classmethod
    def tearDownClass(cls):
        cls.driver.quit()
        cls.proc.terminate()
        cls.proc.wait(timeout=30)
        cls.proc.stdout.close()
        shutil.rmtree(cls.tmp, ignore_errors=True)

    def by(self, css):
        from selenium.webdriver.common.by import By
        return self.driver.find_element(By.CSS_SELECTOR, css)

    def all(self, css):
        from selenium.webdriver.common.by import By
        return self.driver.find_elements(By.CSS_SELECTOR, css)

    def shown(self, name, refused=False):
        """The page as a person sees it: a screenshot, and no console error
        (but the refusal of a page that is meant to be refused)."""
        self.driver.save_screenshot(os.path.join(OUT, name + ".png"))
        errors = [e for e in self.driver.get_log("browser") if e["level"] == "SEVERE"
                  and not (refused and "status of 401" in e["message"])]
        self.assertEqual(errors, [], name)

    def submit(self, button, url_part):
        """Clicks and waits for the next page (the click returns before it)."""
        from selenium.webdriver.support.ui import WebDriverWait
        old = self.by("html")
        button.click()
        WebDriverWait(self.driver, 30).until(lambda d: old.id != self.by("html").id)
        self.assertIn(url_part, self.driver.current_url)

    def choose(self, css, value, url_part):
        from selenium.webdriver.support.ui import Select
        from selenium.webdriver.support.ui import WebDriverWait
        Select(self.by(css)).select_by_value(value)  # web.js submits the form
        WebDriverWait(self.driver, 30).until(lambda d: url_part in d.current_url)

    def sign_in(self, token, then):
        self.driver.get(self.base + "/web/entrar")
        self.by("#credencial").send_keys(token)
        self.submit(self.by("#entrar"), then)

    def test_1_no_page_without_a_valid_token(self):
        for path in ("/web/", "/web/referencias", "/web/tabela?ref=01&tabela=idade",
                     "/web/curvas?ref=01", "/web/avaliacao"):
            for cookie in (None, "errada"):
                res, body = request(self.port, "GET", path, cookie=cookie)
                self.assertEqual((res.status, res.getheader("Location")), (303, "/web/entrar"), path)
                self.assertNotIn("CDC", body)
        res, _ = request(self.port, "POST", "/web/avaliacao", "sexo=F")
        self.assertEqual(res.status, 401)
        res, body = request(self.port, "POST", "/web/entrar", "credencial=errada")
        self.assertEqual(res.status, 401)
        self.assertIsNone(res.getheader("Set-Cookie"))
        # In the browser: the message, no cookie, still on the sign-in page.
        self.sign_in("errada", "/web/entrar")
        self.assertIn("Credencial inválida.", self.by(".erro").text)
        self.assertEqual(self.driver.get_cookies(), [])
        self.shown("entrar-recusada", refused=True)

    def test_2_reader_reads_tables_curves_and_assesses(self):
        from selenium.webdriver.support.ui import Select
        res, _ = request(self.port, "POST", "/web/entrar", "credencial=" + READER)
        self.assertEqual(res.status, 303)
        for attribute in ("HttpOnly", "SameSite=Strict", "Max-Age=28800", "Path=/web"):
            self.assertIn(attribute, res.getheader("Set-Cookie"))
        self.assertNotIn("Secure", res.getheader("Set-Cookie"))  # plain HTTP here
        res, _ = request(self.port, "GET", "/web/referencias", cookie=READER)
        policy = res.getheader("Content-Security-Policy")
        for part in ("default-src 'none'", "script-src 'self'", "frame-ancestors 'none'"):
            self.assertIn(part, policy)
        self.assertEqual(res.getheader("X-Content-Type-Options"), "nosniff")

        self.sign_in(READER, "/web/referencias")
        self.assertNotIn(READER, self.driver.current_url)
        cookie = self.driver.get_cookie("trp_sessao")
        self.assertTrue(cookie["httpOnly"])
        self.assertEqual(cookie["sameSite"], "Strict")
        self.assertIn("expiry", cookie)
        self.assertIn("WHO Multicentre", self.by("tr[data-ref='02'] .citacao").text)
        self.shown("referencias")

        # The CDC's age table, percentile 97, girls: every row as stored.
        self.submit(self.by("tr[data-ref='01'] a[href*='tabela=idade']"), "/web/tabela")
        self.choose("select[name='percentil']", "097", "percentil=097")
        self.choose("select[name='sexo']", "F", "sexo=F")
        rows = [[td.text for td in tr.find_elements("css selector", "td")]
                for tr in self.all("section.tabela")[0].find_elements("css selector", "tbody tr")]
        con = sqlite3.connect(self.db)
        stored = con.execute("SELECT NRIDADEINI, NRIDADEFIN, VRPESOFEMIDA, VRALTUFEMIDA, "
                             "VRPMCFFEMIDA FROM PESALTIDADE WHERE CDREFEBIBL='01' AND "
                             "CDPERCENTIL='097' ORDER BY NRIDADEINI, NRIDADEFIN").fetchall()
        con.close()
        expected = [[str(a), str(m)] + ["" if v is None else brazilian(v, d)
                                        for v, d in ((w, 3), (h, 3), (c, 2))]
                    for a, m, w, h, c in stored]
        self.assertGreater(len(stored), 200)
        self.assertEqual(rows, expected)
        self.shown("tabela")

        # Its curves: the chart code's SVG, a curve per percentile.
        self.submit(self.by(".filtro a[href*='/web/curvas']"), "/web/curvas")
        self.choose("select[name='sexo']", "F", "sexo=F")
        svg = self.by("figure.grafico svg")
        labels = [t.text for t in svg.find_elements("css selector", "text")]
        self.assertIn("Peso por idade - feminino", labels)
        self.assertTrue({"P3", "P50", "P97"} <= set(labels), labels)
        self.shown("curvas")

        # The girl of the clinical printout, against the admin tool.
        self.driver.get(self.base + "/web/avaliacao")
        Select(self.by("select[name='sexo']")).select_by_value("F")
        self.by("input[name='nascimento']").send_keys("10/01/2021")
        self.by("input[name='medicao']").send_keys("20/01/2024")
        self.by("input[name='peso']").send_keys("14,2")
        self.by("input[name='medida']").send_keys("95")
        for box in self.all("input[name='ref']"):
            if (box.get_attribute("value") == "02") != box.is_selected():
                box.click()
        self.submit(self.by("form.avaliacao button[type='submit']"), "/web/avaliacao")
        admin = json.loads(subprocess.run(
            [ADMIN, "assess", "--db", self.db, "--ref", "02", "--sex", "F", "--birth",
             "2021-01-10", "--date", "2024-01-20", "--weight", "14.2", "--height", "95",
             "--format", "json"], check=True, capture_output=True, text=True).stdout)
        checked = 0
        for key, expected in admin.items():
            if expected.get("z") is None:
                continue
            row = self.by(f"tr[data-ref='02'][data-indicador='{key}']")
            z = float(row.find_element("css selector", ".z").text.replace(",", "."))
            self.assertAlmostEqual(z, expected["z"], delta=0.0051, msg=key)
            self.assertEqual(row.find_element("css selector", ".classe").text,
                             expected.get("classificacao") or "", key)
            checked += 1
        self.assertGreaterEqual(checked, 3)
        chart = self.by("figure[data-ref='02'][data-indicador='peso_idade'] svg")
        self.assertIn("Referência 02 - Peso para a idade",
                      [t.text for t in chart.find_elements("css selector", "text")])
        self.shown("avaliacao")
        pdf = base64.b64decode(self.driver.execute_cdp_cmd("Page.printToPDF", {})["data"])
        path = os.path.join(OUT, "avaliacao.pdf")
        with open(path, "wb") as f:
            f.write(pdf)
        text = subprocess.run(["pdftotext", path, "-"], capture_output=True, text=True).stdout
        self.assertIn("Peso para a idade", text)
        self.assertIn("14,2 kg", text)
        self.assertNotIn("Avaliar", text)  # the form and the menu are not printed
        self.driver.set_window_size(800, 1280)  # a tablet held upright
        self.shown("avaliacao-tablet")
        self.assertEqual(db_digest(self.db), self.digest)

    def test_3_under_tls_the_cookie_is_secure(self):
        certs = os.path.join(self.tmp, "certs")
        subprocess.run([os.path.join(os.environ["TRP_SOURCE_DIR"], "scripts", "make-test-certs"),
                        certs], check=True, capture_output=True)
        proc, port = start_server(self.db, self.tokens, "--tls-cert",
                                  os.path.join(certs, "server.pem"), "--tls-key",
                                  os.path.join(certs, "server.key"))
        try:
            tls = ssl.create_default_context(cafile=os.path.join(certs, "ca.pem"))
            res, _ = request(port, "POST", "/web/entrar", "credencial=" + READER, tls=tls)
            self.assertEqual(res.status, 303)
            self.assertIn("; Secure", res.getheader("Set-Cookie"))
        finally:
            proc.terminate()
            proc.wait(timeout=30)
            proc.stdout.close()

    def test_4_no_web_turns_it_off(self):
        proc, port = start_server(self.db, self.tokens, "--no-web")
        try:
            res, _ = request(port, "GET", "/web/entrar")
            self.assertEqual(res.status, 405)
        finally:
            proc.terminate()
            proc.wait(timeout=30)
            proc.stdout.close()


if __name__ == "__main__":
    try:
        import selenium  # noqa: F401
    except ImportError:
        print("python3-selenium ausente: teste pulado")
        sys.exit(77)
    if not os.path.exists(CHROMEDRIVER):
        print("chromedriver ausente: teste pulado")
        sys.exit(77)
    result = unittest.main(argv=[sys.argv[0], "-v"], exit=False).result
    sys.exit(0 if result.wasSuccessful() else 1)
