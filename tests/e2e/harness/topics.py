"""The twelve spoken topics, composed from the forecast rows the way the user hears them."""

# Each topic: pieces joined with nothing between; an int is a row index, a str is spoken as is.
# "{location}" stands for the location field.
TOPICS = {
    1: ["Location is set to ", "{location}", ".  Press Enter to change it."],
    2: ["Right now we have ", 2, "."],
    3: ["The temperature is ", 0, " with a ", 4, ".  It ", 1],
    4: ["Currently ", 7, "."],
    5: ["Current ", 6, "."],
    6: ["Summary Right now, ", 2, ", ", 0, " ", 8, " and the ", 9, "."],
    7: ["Summary Tomorrow, ", 11, ".  ", 12, " with ", 13, ".  ", 14, ".  ", 15, " and the ", 16,
        "."],
}
for _topic in range(8, 13):
    _b = 18 + 6 * (_topic - 8)
    TOPICS[_topic] = [_b, ", ", _b + 1, ", ", _b + 2, ".  ", _b + 3, " with ", _b + 4, ".  ",
                      _b + 5, "."]


def topic_text(topic, rows, location):
    def piece(p):
        if isinstance(p, int):
            return rows[p] if p < len(rows) else ""
        return location if p == "{location}" else p

    return "".join(piece(p) for p in TOPICS[topic])


WELCOME = "Welcome to Skycall. Version 0.3b, by Korvel."
CAPTION = "Skycall (v0.3b) by Korvel"
LOADING = "Loading the forecast."
PROMPT = "Enter your zip code or type the city and state you wish to know about."
NO_SCREEN_READER = "Jaws does not seem to be responding, Sapi on."
